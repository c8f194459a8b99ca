#include "video/frame_memory.h"

#include <cstdlib>  // defines __GLIBC__ where it applies

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vorlix {

void keepFrameBuffersMapped() {
#if defined(__GLIBC__)
    // The largest threshold glibc takes (32 MB: any slide up to 4K at 24 bits comes from the
    // heap), and a trim threshold that keeps the freed blocks for the next frame.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}

}  // namespace vorlix
