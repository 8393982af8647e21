#pragma once
// Encoded bodies for the tests of content decoding.
#include <zlib.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace compression {

enum class TForm { Gzip, Zlib, Raw };

// data, repeated count times, compressed in one stream of the given form.
inline std::string Compress(std::string_view data, TForm form = TForm::Gzip, size_t count = 1)
{
    z_stream z{};
    const int bits = form == TForm::Gzip ? 15 + 16 : form == TForm::Zlib ? 15 : -15;
    if (deflateInit2(&z, 9, Z_DEFLATED, bits, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out;
    char buffer[16384];
    for (size_t i = 0; i < count; ++i) {
        const int flush = i + 1 == count ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        z.avail_in = static_cast<uInt>(data.size());
        int rc = Z_OK;
        do {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            rc = deflate(&z, flush);
            out.append(buffer, sizeof buffer - z.avail_out);
        } while (z.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
    }
    deflateEnd(&z);
    return out;
}

inline std::string Gzip(std::string_view data) { return Compress(data); }

}  // namespace compression
