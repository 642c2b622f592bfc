// vor-nex-cli as the user starts it: a find it can answer itself it answers without loading Qt or
// the data module, which would take several times as long as the search; every other command,
// and every find it leaves, goes to the full tool, which takes this process's place.

#include "QuickFind.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = QuickFind(argc, argv))
        return *status;

    // The full tool lies where the build and the install put it, relative to this program.
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string full;
    if (length > 0) {
        full.assign(self, size_t(length));
        full = full.substr(0, full.rfind('/') + 1) + VNX_FULL_TOOL;
        ::execv(full.c_str(), argv);
    }
    std::fprintf(stderr, "vor-nex-cli: cannot start %s: %s\n", full.c_str(), std::strerror(errno));
    return 3;
}
