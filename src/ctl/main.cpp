// vektrinctl's main: the command line over the core, run in this process.

#include "ctl/command.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    return vektrin::ctl::vektrinctl(std::vector<std::string>(argv + 1, argv + argc));
}
