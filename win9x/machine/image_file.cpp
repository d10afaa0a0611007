// Image completeness: the host's executable format (ELF) names where its
// program headers, the segments to map and the section headers lie; each
// must end within the file.
#include "machine/image_file.h"

#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "win9x/machine.h"

namespace win9x::layer {

namespace {

class HostFile {
public:
    explicit HostFile(const std::string &path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~HostFile()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    HostFile(const HostFile &) = delete;
    HostFile &operator=(const HostFile &) = delete;

    bool ok() const { return fd_ >= 0; }
    uint64_t Size() const
    {
        struct stat info {};
        return fstat(fd_, &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
    }
    bool ReadAt(uint64_t offset, void *out, size_t size) const
    {
        return pread(fd_, out, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
    }

private:
    int fd_;
};

// The end of `count` records of `each` bytes from `offset`; UINT64_MAX when
// that overflows (no file holds it either).
uint64_t TableEnd(uint64_t offset, uint64_t count, uint64_t each)
{
    uint64_t bytes = count * each;
    if (each && bytes / each != count)
        return UINT64_MAX;
    return offset + bytes < offset ? UINT64_MAX : offset + bytes;
}

// How many bytes the headers describe: the furthest end of the program
// header table, every segment's file part and the section header table.
uint64_t DescribedBytes(const HostFile &file, const ElfW(Ehdr) & header)
{
    uint64_t end = sizeof header;
    uint64_t programTable = TableEnd(header.e_phoff, header.e_phnum, header.e_phentsize);
    end = std::max(end, programTable);
    if (header.e_shoff)
        end = std::max(end, TableEnd(header.e_shoff, header.e_shnum, header.e_shentsize));
    if (header.e_phentsize != sizeof(ElfW(Phdr)) || programTable > file.Size())
        return end;
    std::vector<ElfW(Phdr)> segments(header.e_phnum);
    if (!segments.empty() && !file.ReadAt(header.e_phoff, segments.data(), segments.size() * sizeof(ElfW(Phdr))))
        return UINT64_MAX;
    for (const auto &segment : segments) {
        if (segment.p_type == PT_LOAD)
            end = std::max(end, TableEnd(segment.p_offset, 1, segment.p_filesz));
    }
    return end;
}

}  // namespace

std::string ImageShortfall(const std::string &hostPath)
{
    HostFile file(hostPath);
    if (!file.ok())
        return "";  // the loader reports a file it cannot open
    ElfW(Ehdr) header{};
    if (!file.ReadAt(0, &header, sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != (sizeof(void *) == 8 ? ELFCLASS64 : ELFCLASS32))
        return "";
    uint64_t size = file.Size();
    uint64_t described = DescribedBytes(file, header);
    if (described <= size)
        return "";
    return "holds " + std::to_string(size) + " bytes, its headers describe " +
           (described == UINT64_MAX ? std::string("more than a file can hold") : std::to_string(described));
}

}  // namespace win9x::layer

namespace win9x::machine {

std::string ImageShortfall(const std::string &hostPath)
{
    return layer::ImageShortfall(hostPath);
}

}  // namespace win9x::machine
