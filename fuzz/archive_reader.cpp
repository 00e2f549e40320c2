// Reads arbitrary bytes through the archive as the document files do: a script at the start
// of the input says what to read (integers of each width, framework strings, raw bytes), the
// rest is the data. Reads must fail cleanly at the end of the data, and a string read whole
// must be no longer than the data that held it and encode back to a string that reads the same.
#include "framework/archive.h"
#include "framework/byte_stream.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::size_t scriptLen = std::min<std::size_t>(data[0], size - 1);
    std::span<const std::uint8_t> script(data + 1, scriptLen);
    std::span<const std::uint8_t> body(data + 1 + scriptLen, size - 1 - scriptLen);

    tfw::MemorySource src(body);
    tfw::CArchive ar(src);
    for (std::uint8_t op : script) {
        bool ok = true;
        switch (op % 7) {
            case 0: {
                std::uint8_t v;
                ok = ar.ReadInt(v);
                break;
            }
            case 1: {
                std::int16_t v;
                ok = ar.ReadInt(v);
                break;
            }
            case 2: {
                std::uint32_t v;
                ok = ar.ReadInt(v);
                break;
            }
            case 3: {
                std::int64_t v;
                ok = ar.ReadInt(v);
                break;
            }
            case 4: {
                std::string s;
                ok = ar.ReadString(s);
                if (ok) {
                    if (s.size() > body.size()) std::abort();
                    tfw::MemorySink sink;
                    {
                        tfw::CArchive out(sink);
                        out.WriteString(s);
                    }
                    tfw::MemorySource back(sink.Bytes());
                    tfw::CArchive in(back);
                    std::string t;
                    if (!in.ReadString(t) || t != s) std::abort();
                }
                break;
            }
            case 5: {
                std::uint8_t buf[300];
                std::size_t n = ar.Read(std::span<std::uint8_t>(buf, op));
                if (n > op) std::abort();
                break;
            }
            case 6: {
                std::uint8_t b;
                ar.ReadByte(b);
                break;
            }
        }
        if (!ok && ar.Ok()) std::abort();  // a failed typed read always leaves its mark
        if (!ar.Ok() && ar.Status() != tfw::ArchiveStatus::EndOfFile) std::abort();
    }
    return 0;
}
