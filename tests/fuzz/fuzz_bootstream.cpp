// Any bytes as a boot stream: the walk and the byte-by-byte reader must
// agree, and neither may read outside the data or allocate without bound.
#include "bootstream.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const bootstream::Walk walk = bootstream::walk(data, size);
    bootstream::Reader reader;
    for (std::size_t i = 0; i < size; ++i)
        reader.feed(data[i]);
    const bool complete = reader.state() == bootstream::Reader::State::Complete;
    if (complete != walk.ok)
        std::abort();
    if (walk.ok && (walk.streamSize > size || walk.blocks.size() != reader.blocks().size()))
        std::abort();
    return 0;
}
