#include "platform/ContentDecoder.h"

#include <gtest/gtest.h>

#include "common/Compression.h"

namespace {

using compression::Compress;
using compression::Gzip;
using compression::TForm;

std::string Text(size_t size)
{
    std::string s(size, ' ');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
    return s;
}

// Feeds the body piece by piece and decodes into a small buffer; ok is false after bad data.
std::string DecodeAll(TContentDecoder& decoder, const std::string& body, size_t piece, size_t outSize, bool& ok)
{
    std::string out;
    std::string buffer(outSize, '\0');
    ok = true;
    for (size_t pos = 0; pos < body.size() && ok && !decoder.PastEnd(); pos += piece) {
        std::string_view input(body.data() + pos, std::min(piece, body.size() - pos));
        size_t produced = 0;
        do {
            ok = decoder.Decode(input, buffer.data(), buffer.size(), produced);
            EXPECT_LE(produced, outSize);
            out.append(buffer.data(), produced);
        } while (ok && produced > 0);
    }
    return out;
}

TEST(ContentDecoder, CodingsOfAHeaderAndWhichCanBeUndone)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(TContentDecoder::Codings(" GZIP, identity ,,deflate "), (V{"gzip", "deflate"}));
    EXPECT_EQ(TContentDecoder::Codings("identity"), V{});
    EXPECT_TRUE(TContentDecoder::CanDecode({"x-gzip", "gzip", "deflate"}));
    EXPECT_FALSE(TContentDecoder::CanDecode({}));
    EXPECT_FALSE(TContentDecoder::CanDecode({"gzip", "br"}));
    EXPECT_FALSE(TContentDecoder::CanDecode({"compress"}));
    EXPECT_FALSE(TContentDecoder::CanDecode(V(5, "gzip"))) << "a pile of codings is refused";
}

TEST(ContentDecoder, EveryFormDecodesWhateverThePiecesItArrivesIn)
{
    const std::string text = Text(70000);
    struct TCase {
        const char* name;
        std::vector<std::string> codings;
        std::string body;
    };
    const std::vector<TCase> cases = {
        {"gzip", {"gzip"}, Gzip(text)},
        {"zlib deflate", {"deflate"}, Compress(text, TForm::Zlib)},
        {"raw deflate", {"deflate"}, Compress(text, TForm::Raw)},
        {"gzip twice", {"gzip", "gzip"}, Gzip(Gzip(text))},
        {"deflate then gzip", {"deflate", "gzip"}, Gzip(Compress(text, TForm::Zlib))},
        {"two gzip members", {"gzip"}, Gzip(text.substr(0, 30000)) + Gzip(text.substr(30000))},
    };
    for (const TCase& c : cases) {
        for (size_t piece : {size_t{1}, size_t{977}, c.body.size()}) {
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
            TContentDecoder decoder(c.codings);
            bool ok = false;
            EXPECT_EQ(DecodeAll(decoder, c.body, piece, 5000, ok), text);
            EXPECT_TRUE(ok);
            EXPECT_TRUE(decoder.Complete());
            EXPECT_FALSE(decoder.PastEnd());
        }
    }
}

TEST(ContentDecoder, BadDataCutStreamsTrailingBytesAndBombs)
{
    const std::string text = Text(20000);
    std::string badChecksum = Gzip(text);
    badChecksum[badChecksum.size() - 6] ^= 0x55;  // in the CRC-32 of the trailer
    TContentDecoder checked({"gzip"});
    bool ok = true;
    DecodeAll(checked, badChecksum, 4096, 5000, ok);
    EXPECT_FALSE(ok) << "a failed checksum is an error";

    TContentDecoder notGzip({"gzip"});
    DecodeAll(notGzip, "\x1f\x8b this is not compressed at all", 4096, 5000, ok);
    EXPECT_FALSE(ok);

    const std::string whole = Gzip(text);
    TContentDecoder cut({"gzip"});
    DecodeAll(cut, whole.substr(0, whole.size() / 2), 4096, 5000, ok);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(cut.Complete()) << "a stream cut short is not whole";

    TContentDecoder trailing({"gzip"});
    EXPECT_EQ(DecodeAll(trailing, whole + "<html>trailing junk</html>", 4096, 5000, ok), text);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(trailing.Complete());
    EXPECT_TRUE(trailing.PastEnd()) << "bytes after the end are dropped";

    // 64 MB of zeros in some 64 KB, twice encoded: each call gives at most the buffer's size.
    const std::string zeros(65536, '\0');
    const std::string bomb = Gzip(Compress(zeros, TForm::Gzip, 1024));
    TContentDecoder decoder({"gzip", "gzip"});
    std::string_view input(bomb);
    char out[5000];
    size_t produced = 0, total = 0;
    while (total < 1000000 && decoder.Decode(input, out, sizeof out, produced) && produced > 0)
        total += produced;
    EXPECT_GE(total, 1000000u);
    EXPECT_LT(total, 1000000u + sizeof out);
}

}  // namespace
