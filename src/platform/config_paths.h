#pragma once
// Where our configuration files are looked for: $XDG_CONFIG_HOME (~/.config when unset), then each
// directory of $XDG_CONFIG_DIRS (/etc/xdg when unset), each followed by /vektrin/<file>.

#include <string>
#include <string_view>
#include <vector>

namespace vektrin {

// $HOME when it is absolute, else the user's entry in the password database (a service may be
// started without HOME); empty when neither is known.
std::string homeDirectory();

// $XDG_STATE_HOME when it is absolute (without trailing slashes), else ~/.local/state.
std::string stateHome();

// $XDG_DATA_HOME when it is absolute (without trailing slashes), else ~/.local/share.
std::string dataHome();

// Every place for the file, the user's own first. Relative directories in the variables are
// ignored, as the base directory rules ask.
std::vector<std::string> configFileCandidates(std::string_view file);

// The first candidate that is not simply absent: a file, but also a directory, a broken link or a
// path that may not be looked into. What is there is what the operator meant, and reading it says
// what is wrong with it. Empty when every candidate is absent.
std::string firstPresentConfigFile(const std::vector<std::string>& candidates);

} // namespace vektrin
