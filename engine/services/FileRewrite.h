#pragma once
// Editing a file in place through a temporary file beside it and an atomic rename: until Commit
// the original stays as it was, and any failure leaves it intact. An edit whose output equals the
// original writes nothing: the output is compared with the original as it is produced, and the
// temporary file is made only once they differ.
#include <cstdint>
#include <string>
#include <mutex>
#include <string_view>
#include <vector>

// Files that rewrites give back for the next rewrite to write into. A rewrite that has a pool
// exchanges its new copy with the original in one step and returns the original's file (under
// the temporary name) to the pool, so a run of rewrites neither creates nor frees a file each
// time. Safe from several threads; the files left are removed when the pool goes.
class TRewriteSpares {
public:
    TRewriteSpares() = default;
    ~TRewriteSpares();
    TRewriteSpares(const TRewriteSpares&) = delete;
    TRewriteSpares& operator=(const TRewriteSpares&) = delete;

    struct TSpare {
        int fd = -1;  // open for writing
        std::string name;
        uint64_t device = 0;
    };
    // A spare on the device, if there is one.
    bool Take(uint64_t device, TSpare& spare);
    void Give(TSpare spare);
    size_t Count() const;

private:
    mutable std::mutex lock_;
    std::vector<TSpare> spares_;
};

class TFileRewrite {
public:
    // Opens the file for editing (a symbolic link at its name is refused, as is anything but a
    // regular file, or a file that cannot be opened for writing); the temporary file, with the
    // same permission bits, is made when the first byte is written. With spares, the temporary
    // file comes from the pool when it has one, and the original goes to it on Commit. Throws
    // std::runtime_error on failure.
    explicit TFileRewrite(const std::string& fileName, TRewriteSpares* spares = nullptr);
    ~TFileRewrite();
    TFileRewrite(const TFileRewrite&) = delete;
    TFileRewrite& operator=(const TFileRewrite&) = delete;

    const std::string& FileName() const { return fileName_; }
    int64_t SourceSize() const { return sourceSize_; }
    int64_t SourcePosition() const { return sourcePos_; }

    // The whole original (from its start, whatever was read before).
    std::string ReadAll();
    // Copies count bytes of the original from the current read position to the output
    // (all that is left when count < 0). Throws when the original ends early.
    void CopySource(int64_t count = -1);
    // Moves the read position forward without copying.
    void SkipSource(int64_t count);
    // Appends to the output; a short write (disk full) throws.
    void Write(std::string_view data);
    // Writes out what is pending and lets the copy buffers go, for an output that is finished
    // but waits for its Commit.
    void ReleaseBuffers();

    // Replaces the original with the output, which keeps the original's last-write time; an
    // output equal to the original leaves the file as it is (same file, same time). When
    // keepAsName is given and no file of that name exists, the original is kept under it first
    // (an existing one is never replaced).
    void Commit(const std::string& keepAsName = std::string());
    // After Commit: the output differed from the original and took its place.
    bool Replaced() const { return committed_ && diverged_; }

private:
    void ReadSource(char* buffer, int64_t count, int64_t offset);
    void OpenTemporary();
    bool TakeSpare();
    // Puts the output in place by exchanging it with the original; False when the file system
    // cannot exchange (nothing changed then).
    bool ExchangeWithOriginal(bool keptAsSecondName);
    void FillWindow();
    // Up to count bytes of the original from offset, through the comparison window.
    std::string_view CompareBytes(int64_t offset, int64_t count);
    bool SameAsSource(std::string_view data);
    // The output stops matching the original: what matched so far goes to the temporary file.
    void Diverge();
    // Keeps the original under the second name (a hard link); False when that name exists.
    bool KeepAs(const std::string& keepAsName);
    void WriteOut(std::string_view data);
    void Flush();
    [[noreturn]] void Fail(const std::string& call, const std::string& path, int err) const;

    std::string fileName_;
    std::string tempName_;
    int sourceFd_ = -1;
    int tempFd_ = -1;
    TRewriteSpares* spares_ = nullptr;
    bool tempIsSpare_ = false;
    uint32_t mode_ = 0;
    uint32_t uid_ = 0;
    uint32_t gid_ = 0;
    uint64_t device_ = 0;
    int64_t sourceSize_ = 0;
    int64_t sourcePos_ = 0;
    bool committed_ = false;
    // Until the output first differs from the original it is only counted, not written.
    bool diverged_ = false;
    int64_t matched_ = 0;      // output so far, equal to the original's first bytes
    // Reads and writes go through buffers, so a page with many links costs few system calls.
    std::string window_;       // bytes of the original from windowStart_
    int64_t windowStart_ = 0;
    std::string pending_;      // output not yet written
    std::string compare_;      // bytes of the original from compareStart_, to compare output with
    int64_t compareStart_ = 0;
};
