#include "platform/ContentDecoder.h"

#include <zlib.h>

#include <algorithm>

#include "platform/TextUtils.h"

namespace {

// More codings than this are not a server's doing but an attack on memory.
constexpr size_t kMaxCodings = 4;
// Output of one coding waiting for the next.
constexpr size_t kStageBuffer = 16 * 1024;
// zlib window bits: a zlib or gzip header, detected; or a bare deflate stream.
constexpr int kWrappedBits = 15 + 32;
constexpr int kRawBits = -15;

bool StartsWrappedStream(unsigned char first, unsigned char second)
{
    const bool gzip = first == 0x1f && second == 0x8b;
    const bool zlib = (first & 0x0f) == 8 && (first >> 4) <= 7 && ((first << 8) | second) % 31 == 0;
    return gzip || zlib;
}

}  // namespace

struct TContentDecoder::TStage {
    z_stream z{};
    bool started = false;  // zlib set up, once the first two bytes told the stream's form
    bool wrapped = false;  // zlib or gzip header: a further gzip member may follow the end
    bool ended = false;    // the stream (or its last member so far) has ended
    bool pastEnd = false;  // bytes that begin no member followed the end
    std::string head;      // the first bytes, held until the form is known
    size_t headUsed = 0;
    std::vector<char> pending;  // output waiting for the next stage
    size_t pendingPos = 0;
    size_t pendingLen = 0;

    ~TStage()
    {
        if (started)
            inflateEnd(&z);
    }
};

std::vector<std::string> TContentDecoder::Codings(std::string_view contentEncoding)
{
    std::vector<std::string> codings;
    while (!contentEncoding.empty()) {
        const size_t comma = contentEncoding.find(',');
        std::string item = AsciiLowerCase(TrimText(std::string(contentEncoding.substr(0, comma))));
        contentEncoding.remove_prefix(comma == std::string_view::npos ? contentEncoding.size() : comma + 1);
        if (!item.empty() && item != "identity")
            codings.push_back(std::move(item));
    }
    return codings;
}

bool TContentDecoder::CanDecode(const std::vector<std::string>& codings)
{
    if (codings.empty() || codings.size() > kMaxCodings)
        return false;
    return std::all_of(codings.begin(), codings.end(),
                       [](const std::string& c) { return c == "gzip" || c == "x-gzip" || c == "deflate"; });
}

TContentDecoder::TContentDecoder(const std::vector<std::string>& codings)
{
    // gzip and deflate are told apart by their first bytes, so only the count matters.
    for (size_t i = 0; i < codings.size(); ++i) {
        stages_.push_back(std::make_unique<TStage>());
        if (i + 1 < codings.size())
            stages_.back()->pending.resize(kStageBuffer);
    }
}

TContentDecoder::~TContentDecoder() = default;

bool TContentDecoder::Complete() const
{
    return std::all_of(stages_.begin(), stages_.end(), [](const auto& s) { return s->started && s->ended; });
}

bool TContentDecoder::PastEnd() const
{
    // Nothing passes a stage that is past its end.
    return std::any_of(stages_.begin(), stages_.end(), [](const auto& s) { return s->pastEnd; });
}

bool TContentDecoder::Decode(std::string_view& input, char* out, size_t size, size_t& produced)
{
    produced = 0;
    if (stages_.empty() || PastEnd())
        return true;
    return Pull(stages_.size() - 1, input, out, size, produced);
}

// Fills out with up to size bytes of a stage's output, pulling its input from the stage before
// (or from the body for stage 0) as it goes.
bool TContentDecoder::Pull(size_t index, std::string_view& input, char* out, size_t size, size_t& produced)
{
    TStage& stage = *stages_[index];
    produced = 0;
    while (produced < size && !stage.pastEnd) {
        std::string_view source = input;
        if (index > 0) {
            TStage& before = *stages_[index - 1];
            if (before.pendingPos == before.pendingLen) {
                size_t got = 0;
                if (!Pull(index - 1, input, before.pending.data(), before.pending.size(), got))
                    return false;
                before.pendingPos = 0;
                before.pendingLen = got;
                if (got == 0)
                    break;
            }
            source = std::string_view(before.pending.data() + before.pendingPos, before.pendingLen - before.pendingPos);
        }
        size_t made = 0;
        const size_t available = source.size();
        const TStep step = Step(stage, source, out + produced, size - produced, made);
        const size_t used = available - source.size();
        if (index > 0)
            stages_[index - 1]->pendingPos += used;
        else
            input.remove_prefix(used);
        produced += made;
        if (step == TStep::Failed)
            return false;
        if (step == TStep::Stalled)
            break;
    }
    return true;
}

// One inflate call on the stage's held-back first bytes, else on input.
TContentDecoder::TStep TContentDecoder::Step(TStage& stage, std::string_view& input, char* out, size_t size,
                                             size_t& made)
{
    made = 0;
    if (!stage.started) {
        const size_t take = std::min(input.size(), 2 - stage.head.size());
        stage.head.append(input.substr(0, take));
        input.remove_prefix(take);
        if (stage.head.size() < 2)
            return take > 0 ? TStep::Progress : TStep::Stalled;
        stage.wrapped = StartsWrappedStream(static_cast<unsigned char>(stage.head[0]),
                                            static_cast<unsigned char>(stage.head[1]));
        if (inflateInit2(&stage.z, stage.wrapped ? kWrappedBits : kRawBits) != Z_OK)
            return TStep::Failed;
        stage.started = true;
        return TStep::Progress;
    }
    const bool fromHead = stage.headUsed < stage.head.size();
    if (stage.ended) {
        if (fromHead || input.empty())
            return TStep::Stalled;
        if (stage.wrapped && input.front() == '\x1f') {
            // Another gzip member follows.
            if (inflateReset(&stage.z) != Z_OK)
                return TStep::Failed;
            stage.ended = false;
            return TStep::Progress;
        }
        stage.pastEnd = true;
        input.remove_prefix(input.size());
        return TStep::Stalled;
    }
    const char* in = fromHead ? stage.head.data() + stage.headUsed : input.data();
    const size_t available = fromHead ? stage.head.size() - stage.headUsed : input.size();
    if (available == 0 || size == 0)
        return TStep::Stalled;
    stage.z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
    stage.z.avail_in = static_cast<uInt>(std::min<size_t>(available, 1u << 30));
    stage.z.next_out = reinterpret_cast<Bytef*>(out);
    stage.z.avail_out = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
    const uInt inBefore = stage.z.avail_in;
    const uInt outBefore = stage.z.avail_out;
    const int rc = inflate(&stage.z, Z_NO_FLUSH);
    const size_t used = inBefore - stage.z.avail_in;
    made = outBefore - stage.z.avail_out;
    if (fromHead)
        stage.headUsed += used;
    else
        input.remove_prefix(used);
    if (rc == Z_STREAM_END) {
        stage.ended = true;
        return TStep::Progress;
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR)
        return TStep::Failed;
    return used > 0 || made > 0 ? TStep::Progress : TStep::Stalled;
}
