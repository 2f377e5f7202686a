// The one translation unit that compiles the glTF library (Debian ships it as
// a header, libtinygltf-dev). Every user of the header is built without the
// image codecs the library can bring (src/CMakeLists.txt): images stay
// encoded through parsing and writing (gltf_io.cpp), and the device side
// decodes them with the player's one image library.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-function"
#endif

#define TINYGLTF_IMPLEMENTATION
#include <tiny_gltf.h>

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
