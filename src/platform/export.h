// VELKLK_API marks what a host may use from the shared libraries of the
// system: the public classes and the type library, the platform interfaces a
// host implements with their value types, and the entry points of the
// embedded platforms. The libraries are compiled with hidden visibility, so
// everything without the mark stays inside its library. The same mark serves
// the library's build and the host's (ELF needs no import form).
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define VELKLK_API __attribute__((visibility("default")))
#else
#define VELKLK_API
#endif
