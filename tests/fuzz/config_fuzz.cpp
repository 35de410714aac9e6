// controller.toml: any text is either loaded or refused with a message that
// names the file; it never crashes the program.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include "simulator/config.h"

namespace {

// A file in memory (no disk writes between runs), opened by its /proc name.
struct MemoryFile {
    int fd = ::memfd_create("controller.toml", MFD_CLOEXEC);
    std::filesystem::path path = "/proc/self/fd/" + std::to_string(fd);
    void write(const uint8_t* data, size_t size) {
        if (fd < 0 || ::ftruncate(fd, 0) != 0) std::abort();
        for (size_t done = 0; done < size;) {
            ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) std::abort();
            done += static_cast<size_t>(n);
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile file;
    file.write(data, size);
    std::string error;
    auto config = orva::sim::load_config(file.path, &error);
    if (!config && error.rfind(file.path.string() + ":", 0) != 0) {
        std::fprintf(stderr, "config_fuzz: a refusal that does not name the file: %s\n", error.c_str());
        std::abort();
    }
    if (config && !config->kernel_version.empty() && config->kernel_version.size() != 6) {
        std::fprintf(stderr, "config_fuzz: a kernel version of %zu characters was accepted\n",
                     config->kernel_version.size());
        std::abort();
    }
    return 0;
}
