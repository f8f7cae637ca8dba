// A save killed part-way must leave the old or the new collection file,
// never a broken one. A child process installs a seccomp filter that kills it
// at a chosen system call of the save, so the kill lands at the same point of
// the real code path every time.
#include <gtest/gtest.h>

#if defined(__linux__) && (defined(__x86_64__) || defined(__aarch64__))
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <filesystem>

#include "core/collection/CollectionTestSupport.h"
#include "core/collection/QELMySoundEffectStorage.h"

using namespace collectiontest;
namespace fs = std::filesystem;

namespace {

#if defined(__x86_64__)
constexpr uint32_t kArch = AUDIT_ARCH_X86_64;
#else
constexpr uint32_t kArch = AUDIT_ARCH_AARCH64;
#endif

enum class KillAt {
    Rename,              // the temporary file is written and flushed, not yet renamed
    DirectoryFlushOpen,  // renamed; the directory is about to be flushed
};

// Installs a filter that kills this process at the first matching call.
bool killAt(KillAt point) {
    constexpr uint32_t kNr = offsetof(struct seccomp_data, nr);
    constexpr uint32_t kFlags = offsetof(struct seccomp_data, args) + 2 * sizeof(uint64_t);
    std::vector<sock_filter> f = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kNr),
    };
    auto killOn = [&](long nr) {
        f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(nr), 0, 1));
        f.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS));
    };
    if (point == KillAt::Rename) {
#ifdef __NR_rename
        killOn(__NR_rename);
#endif
        killOn(__NR_renameat);
        killOn(__NR_renameat2);
    } else {
        // openat(dir, O_DIRECTORY): the flags are the third argument (low word).
        f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 3));
        f.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kFlags));
        f.push_back(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, O_DIRECTORY, 0, 1));
        f.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS));
    }
    f.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    sock_fprog prog{static_cast<unsigned short>(f.size()), f.data()};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::syscall(__NR_seccomp, SECCOMP_SET_MODE_FILTER, 0, &prog) == 0;
}

// Runs `add` of one more entry in a child killed at `point`; returns the
// child's wait status.
int addInKilledChild(const std::string& path, KillAt point) {
    pid_t pid = ::fork();
    if (pid == 0) {
        rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        QELMySoundEffectStorage storage(path);
        if (!killAt(point)) ::_exit(3);
        storage.addSoundEffect(user("C"));
        storage.flush();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

std::vector<std::string> leftoverTemporaries(const std::string& path) {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(fs::path(path).parent_path())) {
        const std::string name = e.path().filename().string();
        if (name.rfind(".Customcollection.info.", 0) == 0 && !name.ends_with(".lock"))
            found.push_back(e.path().string());
    }
    return found;
}

}  // namespace

TEST(CollectionCrashSafety, AKillDuringSaveLeavesTheOldOrTheNewFile) {
    CollectionDir dir;
    {
        QELMySoundEffectStorage storage(dir.path);
        storage.addSoundEffect(user("A"));
        storage.addSoundEffect(user("B"));
    }  // written on the way out
    const std::vector<std::string> before{"A", "B"};
    const std::vector<std::string> after{"A", "B", "C"};

    int status = addInKilledChild(dir.path, KillAt::Rename);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3) GTEST_SKIP() << "seccomp not available";
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSYS) << "status " << status;
    EXPECT_EQ(namesInFile(dir.path), before);
    // The kill came after the new content was complete on disk.
    auto temporaries = leftoverTemporaries(dir.path);
    ASSERT_EQ(temporaries.size(), 1u);
    EXPECT_EQ(namesInFile(temporaries[0]), after);
    // The next start clears what the killed save left.
    EXPECT_EQ(QELMySoundEffectStorage(dir.path).soundEffects().size(), 2u);
    EXPECT_TRUE(leftoverTemporaries(dir.path).empty());

    status = addInKilledChild(dir.path, KillAt::DirectoryFlushOpen);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSYS) << "status " << status;
    EXPECT_EQ(namesInFile(dir.path), after);
    EXPECT_TRUE(leftoverTemporaries(dir.path).empty());
}

#endif
