// Proof that the sanitized run sees faults: without an argument it reads one byte past the
// end of a heap buffer, which AddressSanitizer must stop (the test expects this program to
// fail). With --leak it loses an allocation and exits 0: the test command runs it to learn
// whether LeakSanitizer can work on this machine.
#include <cstdio>
#include <cstdlib>
#include <cstring>

void* volatile g_kept;

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--leak") == 0) {
        for (int i = 0; i < 8; ++i) g_kept = std::malloc(64);  // all but the last are lost
        return 0;
    }
    // The length comes from outside, so that no compiler sees the overrun coming.
    const std::size_t size = 15 + static_cast<std::size_t>(argc);
    char* buffer = static_cast<char*>(std::malloc(size));
    std::memset(buffer, 'x', size);
    const volatile char* end = buffer + size;
    const char past = *end;
    std::printf("read past the end: %d\n", past);
    std::free(buffer);
    return 0;
}
