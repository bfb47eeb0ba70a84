# Runs at install time (cmake --install, CPack): writes the menu entry, the login entry and the
# systemd user unit with the path the program is installed at, which only now is known.
# Set before: VEKTRIN_SOURCE_DIR, VEKTRIN_INSTALL_BINDIR, VEKTRIN_INSTALL_DATADIR,
# VEKTRIN_USER_UNIT_DIR (may be empty).

if(IS_ABSOLUTE "${VEKTRIN_INSTALL_BINDIR}")
  set(bindir "${VEKTRIN_INSTALL_BINDIR}")
else()
  set(bindir "${CMAKE_INSTALL_PREFIX}/${VEKTRIN_INSTALL_BINDIR}")
endif()
set(program "${bindir}/vektrin")
if(program MATCHES "[\"'\\\\`$%]" OR program MATCHES "[\n\r]")
  message(FATAL_ERROR "Cannot install vektrin to \"${program}\": the desktop entries and the "
                      "service unit cannot name a path with quotes, backslashes, $, % or `")
endif()

# Menus and session managers find a bare name on PATH in the system's own bin directories;
# elsewhere (~/.local/bin is not always on the session's PATH) the entries name the full path.
if(bindir STREQUAL "/usr/bin" OR bindir STREQUAL "/usr/local/bin")
  set(exec vektrin)
  set(tryexec vektrin)
elseif(program MATCHES " ")
  set(exec "\"${program}\"")
  set(tryexec "${program}")
else()
  set(exec "${program}")
  set(tryexec "${program}")
endif()

# The user manager reads units from lib/systemd/user below /usr and /usr/local, and from
# $XDG_DATA_HOME/systemd/user (~/.local/share/systemd/user) in the home directory.
if(VEKTRIN_USER_UNIT_DIR)
  set(unitdir "${VEKTRIN_USER_UNIT_DIR}")
else()
  set(data_home "$ENV{XDG_DATA_HOME}")
  if(NOT data_home)
    set(data_home "$ENV{HOME}/.local/share")
  endif()
  if(NOT "$ENV{HOME}" STREQUAL "" AND "${CMAKE_INSTALL_PREFIX}/${VEKTRIN_INSTALL_DATADIR}" STREQUAL data_home)
    set(unitdir "${VEKTRIN_INSTALL_DATADIR}/systemd/user")
  else()
    set(unitdir "lib/systemd/user")
  endif()
endif()

function(vektrin_install_text directory name content)
  if(IS_ABSOLUTE "${directory}")
    set(path "${directory}/${name}")
  else()
    set(path "${CMAKE_INSTALL_PREFIX}/${directory}/${name}")
  endif()
  set(target "$ENV{DESTDIR}${path}")
  message(STATUS "Installing: ${target}")
  file(WRITE "${target}" "${content}")
  file(CHMOD "${target}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  # The manifest lists paths below the prefix, without DESTDIR, as for every other file.
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${path}")
  set(CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_MANIFEST_FILES}" PARENT_SCOPE)
endfunction()

foreach(entry "applications|vektrin.desktop" "vektrin|vektrin-autostart.desktop")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 directory)
  list(GET entry 1 name)
  file(READ "${VEKTRIN_SOURCE_DIR}/resources/${name}" text)
  string(REGEX REPLACE "(^|\n)Exec=vektrin(\n|$)" "\\1Exec=${exec}\\2" text "${text}")
  string(REGEX REPLACE "(^|\n)TryExec=vektrin(\n|$)" "\\1TryExec=${tryexec}\\2" text "${text}")
  vektrin_install_text("${VEKTRIN_INSTALL_DATADIR}/${directory}" "${name}" "${text}")
endforeach()

file(READ "${VEKTRIN_SOURCE_DIR}/resources/vektrin.service.in" text)
string(REPLACE "@VEKTRIN_PROGRAM@" "${program}" text "${text}")
string(REPLACE "@VEKTRINCTL_PROGRAM@" "${bindir}/vektrinctl" text "${text}")
vektrin_install_text("${unitdir}" vektrin.service "${text}")
