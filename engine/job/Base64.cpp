#include "engine/job/Base64.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr uint8_t kOutside = 61;

std::array<uint8_t, 256> MakeDecodeTable()
{
    std::array<uint8_t, 256> table{};
    table.fill(kOutside);
    for (uint8_t i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}

}  // namespace

std::string StrToBase64(const std::string& text)
{
    // An empty text is padded to three zero bytes, so it codes as "A===".
    std::string in = text;
    size_t added = 0;
    while (in.size() <= 2 || in.size() % 3 != 0) {
        in.push_back('\0');
        ++added;
    }
    std::string out;
    out.reserve(in.size() / 3 * 4);
    for (size_t i = 0; i < in.size(); i += 3) {
        uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(in[i])) << 16 |
                         static_cast<uint32_t>(static_cast<unsigned char>(in[i + 1])) << 8 |
                         static_cast<uint32_t>(static_cast<unsigned char>(in[i + 2]));
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += kAlphabet[(group >> 6) & 63];
        out += kAlphabet[group & 63];
    }
    out.replace(out.size() - added, added, added, '=');
    return out;
}

std::string Base64ToStr(const std::string& text)
{
    if (text.size() <= 3 || text.size() % 4 != 0)
        throw std::runtime_error("Base64ToStr: illegal input length!");
    static const std::array<uint8_t, 256> table = MakeDecodeTable();

    size_t padding = 0;
    while (padding < text.size() && text[text.size() - 1 - padding] == '=')
        ++padding;

    std::string out;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        uint32_t group = 0;
        for (size_t j = 0; j < 4; ++j)
            group = group << 6 | table[static_cast<unsigned char>(text[i + j])];
        out += static_cast<char>((group >> 16) & 0xFF);
        out += static_cast<char>((group >> 8) & 0xFF);
        out += static_cast<char>(group & 0xFF);
    }
    // More "=" than decoded bytes ("====", "AAAA========") leaves an empty text.
    out.resize(out.size() - std::min(padding, out.size()));
    return out;
}
