// Holds the sorter's lock on a directory until it is killed (or two minutes pass), so that the
// Wine stage can show that a second sort is refused and that a killed holder frees it.
#include "platform.h"

#include <cstdio>
#include <windows.h>

int main(int argc, char **argv)
{
    plat_lock *lock = nullptr;
    if (argc != 2 || plat_lock_dir(argv[1], &lock) != lock_taken) {
        std::puts("not locked");
        return 1;
    }
    std::puts("locked");
    std::fflush(stdout);
    Sleep(120000);
    plat_unlock_dir(lock);
    return 0;
}
