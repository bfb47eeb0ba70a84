# The Debian changelog of the native package: one entry for the newest release of CHANGELOG.md,
# dated as that release, pointing to CHANGELOG.md itself for what changed.
function(debian_changelog SOURCE OUTPUT VERSION MAINTAINER)
file(STRINGS "${SOURCE}" releases REGEX "^## [0-9][0-9.]* \\([0-9-]+\\)")
list(GET releases 0 newest)
string(REGEX REPLACE "^## .* \\(([0-9-]+)\\).*" "\\1" day "${newest}")
string(REGEX REPLACE "^([0-9]+)-([0-9]+)-([0-9]+)$" "\\1;\\2;\\3" parts "${day}")
list(GET parts 0 year)
list(GET parts 1 month)
list(GET parts 2 dayOfMonth)
set(names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
math(EXPR index "${month} - 1")
list(GET names ${index} monthName)
# The week day by Zeller's congruence (0 = Saturday).
set(y ${year})
set(m ${month})
if(m LESS 3)
  math(EXPR m "${m} + 12")
  math(EXPR y "${y} - 1")
endif()
math(EXPR weekDay "(${dayOfMonth} + (13 * (${m} + 1)) / 5 + ${y} % 100 + (${y} % 100) / 4 + (${y} / 100) / 4 + 5 * (${y} / 100)) % 7")
set(days Sat Sun Mon Tue Wed Thu Fri)
list(GET days ${weekDay} weekDayName)
file(WRITE "${OUTPUT}" "vektrin (${VERSION}) unstable; urgency=medium

  * What changed is told in /usr/share/doc/vektrin/CHANGELOG.md.

 -- ${MAINTAINER}  ${weekDayName}, ${dayOfMonth} ${monthName} ${year} 00:00:00 +0000
")
endfunction()
