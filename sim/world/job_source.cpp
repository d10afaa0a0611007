#include "world/job_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "world/shown_text.h"

namespace ovlsim {

namespace {

class FileSource : public JobSource {
public:
    FileSource(int fd, bool owned, std::string shown, std::optional<uint64_t> size)
        : fd_(fd), owned_(owned), shown_(std::move(shown)), size_(size)
    {
    }
    ~FileSource() override
    {
        if (owned_)
            close(fd_);
    }

    bool Read(char *buffer, size_t size, size_t *got, std::string *error) override
    {
        ssize_t n;
        while ((n = read(fd_, buffer, size)) < 0 && errno == EINTR) {
        }
        if (n < 0) {
            *error = "cannot read " + shown_ + ": " + std::strerror(errno);
            return false;
        }
        *got = static_cast<size_t>(n);
        return true;
    }

    std::optional<uint64_t> Size() const override { return size_; }

private:
    int fd_;
    bool owned_;
    std::string shown_;
    std::optional<uint64_t> size_;
};

class TextSource : public JobSource {
public:
    explicit TextSource(std::string text) : text_(std::move(text)) {}

    bool Read(char *buffer, size_t size, size_t *got, std::string *) override
    {
        *got = std::min(size, text_.size() - offset_);
        std::memcpy(buffer, text_.data() + offset_, *got);
        offset_ += *got;
        return true;
    }

    std::optional<uint64_t> Size() const override { return text_.size(); }

private:
    std::string text_;
    size_t offset_ = 0;
};

}  // namespace

std::unique_ptr<JobSource> OpenJobFile(const std::string &path, std::string *error)
{
    bool standardInput = path == "-";
    std::string shown = standardInput ? "standard input" : Shown(path);
    int fd = standardInput ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        *error = fd >= 0 && S_ISDIR(info.st_mode) ? shown + " is a folder, not a file"
                                                  : "cannot read " + shown + ": " + std::strerror(errno);
        if (fd >= 0 && !standardInput)
            close(fd);
        return nullptr;
    }
    std::optional<uint64_t> size;
    if (S_ISREG(info.st_mode)) {
        // Standard input may be a file read part-way already.
        off_t at = lseek(fd, 0, SEEK_CUR);
        size = static_cast<uint64_t>(info.st_size - std::clamp<off_t>(at, 0, info.st_size));
    }
    return std::make_unique<FileSource>(fd, !standardInput, shown, size);
}

std::unique_ptr<JobSource> JobText(std::string text)
{
    return std::make_unique<TextSource>(std::move(text));
}

}  // namespace ovlsim
