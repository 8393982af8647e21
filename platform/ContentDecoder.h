#pragma once
// Undoes the content codings of an HTTP body (its Content-Encoding): gzip and deflate, also when
// applied more than once ("gzip, gzip"). Output comes in pieces no larger than the caller's
// buffer, so a body that inflates a thousandfold needs no more memory than a window and a small
// buffer per coding, and the caller can stop it at any size.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TContentDecoder {
public:
    // The codings of a Content-Encoding value in the order they were applied, in lower case;
    // "identity" and empty items are left out.
    static std::vector<std::string> Codings(std::string_view contentEncoding);
    // Every coding can be undone here (and there are not unreasonably many of them).
    static bool CanDecode(const std::vector<std::string>& codings);

    // codings: as Codings gives them; CanDecode must hold.
    explicit TContentDecoder(const std::vector<std::string>& codings);
    ~TContentDecoder();
    TContentDecoder(const TContentDecoder&) = delete;
    TContentDecoder& operator=(const TContentDecoder&) = delete;

    // Decodes the front of input (what was used is removed from it) into out, at most size
    // bytes; produced 0 means more input is needed or the body has ended (Complete, PastEnd).
    // False when the data is not valid for its coding, a failed checksum included.
    bool Decode(std::string_view& input, char* out, size_t size, size_t& produced);
    // Every coding's stream has ended: a body that stops now is whole.
    bool Complete() const;
    // A coding's stream has ended and what followed begins no further gzip member: nothing more
    // can come out (the body is whole when Complete holds too), and further input is dropped.
    bool PastEnd() const;

private:
    struct TStage;
    enum class TStep { Progress, Stalled, Failed };

    bool Pull(size_t index, std::string_view& input, char* out, size_t size, size_t& produced);
    static TStep Step(TStage& stage, std::string_view& input, char* out, size_t size, size_t& made);

    // Innermost coding last: stage 0 reads the body, the last stage writes the output.
    std::vector<std::unique_ptr<TStage>> stages_;
};
