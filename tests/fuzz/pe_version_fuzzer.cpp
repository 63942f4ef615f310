// libFuzzer entry: every input is a candidate plug-in binary. The reader must
// return, without reading outside the input, crashing or allocating by what
// the input claims.
#include "../../pe/PeVersionReader.h"
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    PeVersionReader::read ([data, size] (uint64_t offset, void* destination, size_t length)
                           {
                               if (offset > size || length > size - offset)
                                   return false;
                               std::memcpy (destination, data + offset, length);
                               return true;
                           },
                           size);
    return 0;
}
