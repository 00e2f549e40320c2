// Loads arbitrary bytes as a plain channel's .ccf file; see channel_file_harness.h for what
// must hold.
#include "channels/doc_comm.h"
#include "fuzz/channel_file_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return tolvan::fuzzing::LoadChannelFile<tolvan::CDocComm>(data, size);
}
