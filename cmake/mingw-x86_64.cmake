# The same programs for 64-bit Windows. Shipped builds are 32-bit (mingw-i686.cmake); this one
# serves the Wine tests on hosts whose kernel cannot run 32-bit code.
set(FDS_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
