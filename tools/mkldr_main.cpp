// lodvane-mkldr: writes the boot streams that come with the virtual board.
//   lodvane-mkldr loader BF51x|BF592 FILE   the first-stage FLASH loader it recognises
//   lodvane-mkldr demo FILE                 the demo application image

#include "simimages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

static int writeFile(const char *path, const std::vector<std::uint8_t> &bytes)
{
    std::FILE *f = std::fopen(path, "wb");
    if (!f) {
        std::fprintf(stderr, "lodvane-mkldr: cannot write %s: %s\n", path, std::strerror(errno));
        return 1;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "lodvane-mkldr: cannot write %s\n", path);
        std::remove(path);
        return 1;
    }
    return 0;
}

int main(int argc, char **argv)
{
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "loader" && argc == 4 && sim::isCoreFamily(argv[2]))
        return writeFile(argv[3], sim::loaderImage(argv[2]));
    if (what == "demo" && argc == 3)
        return writeFile(argv[2], sim::demoImage());
    std::fprintf(stderr, "usage: lodvane-mkldr loader BF51x|BF592 FILE\n       lodvane-mkldr demo FILE\n");
    return 2;
}
