// A page of memory that every process of a machine maps from a small file
// beside one of its databases: a generation that tells whether the database
// changed since a process last read it, without a system call, and a notice
// count that processes can sleep on until another process signals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace win9x::store {

class SharedPage {
public:
    // The size of the file and of the mapping.
    static constexpr size_t kBytes = 4096;

    SharedPage() = default;
    ~SharedPage();
    SharedPage(const SharedPage &) = delete;
    SharedPage &operator=(const SharedPage &) = delete;

    // Maps the file, which must be a regular file of kBytes unless `create`
    // (a new database) makes it; false leaves the page unmapped, and then
    // the generation always reads as "changing".
    bool Map(const std::string &path, bool create);

    // Grows with every committed change and never repeats. An odd value means
    // that a change is being committed (or that its writer died before it
    // finished): nothing read then may be remembered.
    uint64_t Generation() const;
    // Marks a change as under way; called while holding the database's write
    // lock, before the commit. Returns the mark to hand to EndChange.
    uint64_t BeginChange();
    // Marks the change as committed (or abandoned).
    void EndChange(uint64_t mark);

    uint32_t Notices() const;
    // Counts a notice and wakes every process waiting for one.
    void Notify();
    // Sleeps until the notice count differs from `seen` or `timeoutMs` pass;
    // true when it differs.
    bool WaitForNotice(uint32_t seen, unsigned timeoutMs) const;

private:
    struct Layout {
        uint64_t generation;
        uint32_t notices;
        uint32_t waiters;
    };
    Layout *page_ = nullptr;
};

}  // namespace win9x::store
