// vektrinctl's main: the command line over the core, run in this process.

#include "ctl/command.h"

#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    vektrin::ctl::DescriptorOutput out(STDOUT_FILENO);
    std::cout.rdbuf(&out);
    const int status = vektrin::ctl::vektrinctl(std::vector<std::string>(argv + 1, argv + argc));
    std::cout.rdbuf(nullptr); // nothing is printed after the end's check
    return status;
}
