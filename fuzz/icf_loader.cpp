// Loads arbitrary bytes as a infra-red channel's .icf file; see channel_file_harness.h for what
// must hold.
#include "channels/doc_ir.h"
#include "fuzz/channel_file_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return tolvan::fuzzing::LoadChannelFile<tolvan::CDocIR>(data, size);
}
