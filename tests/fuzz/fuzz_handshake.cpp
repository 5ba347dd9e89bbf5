// The lines a board sends to start a transfer: whatever they hold, a header
// is either refused or names a safe file and a size the host can allocate.
#include "filetransfer.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace FileTransfer;
    const QByteArray line(reinterpret_cast<const char *>(data), int(size));
    chunkMarker(line);
    const DeviceHeader header = parseDeviceHeader(line);
    if (header.status == HeaderStatus::Ok
        && (!isSafeFileName(header.name, FileUse::Replace) || header.size < 0 || header.size > kMaxDeviceFileSize
            || transferSize(header.size) < header.size))
        std::abort();
    const QByteArray name = requestedName(line);
    if (isSafeFileName(name, FileUse::Read)
        && (name.isEmpty() || name.startsWith('/') || name.startsWith('.') || name.contains("/.")
            || name.contains('\0')))
        std::abort();
    return 0;
}
