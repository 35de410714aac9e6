// A call that _FORTIFY_SOURCE checks, with a size known only when it runs,
// and a buffer on the stack for the stack protector. Built, never run.
#include <cstddef>
#include <cstdio>

int main(int argc, char** argv) {
    char buffer[16];
    std::snprintf(buffer, std::size_t(argc) * 8, "%s", argv[0]);
    std::puts(buffer);
    return 0;
}
