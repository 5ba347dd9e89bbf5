// Arbitrary bytes as a script, run the way lodvane-script runs a file: the
// standard headers included, the text parsed and its top level run, then main
// (a text without one ends in that report), everything released at the end.
// A statement limit bounds every run.
//
// A script may use the whole standard library, so the process is fenced in
// without changing the engine: the script's working directory is a fresh
// temporary folder emptied after every input, standard input reads from
// /dev/null, standard output goes there too, system() runs nothing, and where
// the kernel offers Landlock, nothing outside that folder and libFuzzer's own
// output folders can be written, created or removed, and no program outside
// /usr/lib (where the sanitizers' symboliser lives) can be started.
#include "engine.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/landlock.h>
#include <memory>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr unsigned long kStatementsPerInput = 10000;

int startDirectory = -1;    // where libFuzzer resolves its own relative paths
int scratchDirectory = -1;  // the script's working directory
std::string parentPath;
std::string scratchPath;

void discardChar(int) {}
void discardString(const char *) {}

// Files the last script left in its working directory ("." and ".." are
// refused by unlinkat).
void emptyScratch()
{
    DIR *dir = fdopendir(dup(scratchDirectory));
    if (!dir)
        return;
    rewinddir(dir);
    while (const dirent *entry = readdir(dir))
        unlinkat(scratchDirectory, entry->d_name, 0);
    closedir(dir);
}

void removeScratch()
{
    emptyScratch();
    rmdir(scratchPath.c_str());
    rmdir(parentPath.c_str());
}

// The folders libFuzzer was told to write into: the first corpus folder (the
// others are only read) and the folder of the artifact prefix.
std::vector<std::string> fuzzerOutputFolders(int argc, char **argv)
{
    std::vector<std::string> folders;
    bool corpusSeen = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        for (const char *option : {"-artifact_prefix=", "-exact_artifact_path="}) {
            if (arg.rfind(option, 0) == 0) {
                std::string path = arg.substr(strlen(option));
                size_t slash = path.rfind('/');
                folders.push_back(slash == std::string::npos ? "." : path.substr(0, slash + 1));
            }
        }
        struct stat info;
        if (!corpusSeen && arg[0] != '-' && stat(arg.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            folders.push_back(arg);
            corpusSeen = true;
        }
    }
    return folders;
}

bool allowBeneath(int ruleset, const std::string &folder, __u64 access)
{
    landlock_path_beneath_attr rule{};
    rule.allowed_access = access;
    rule.parent_fd = open(folder.c_str(), O_PATH | O_CLOEXEC);
    if (rule.parent_fd < 0)
        return false;
    bool added = syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0;
    close(rule.parent_fd);
    return added;
}

// Reading stays free; writing is kept to the scratch and output folders,
// running programs to the sanitizers' symboliser.
bool confineWrites(const std::vector<std::string> &outputFolders)
{
    const __u64 write = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR
        | LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR
        | LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO
        | LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM;
    landlock_ruleset_attr attributes{};
    attributes.handled_access_fs = write | LANDLOCK_ACCESS_FS_EXECUTE;
    int ruleset = int(syscall(SYS_landlock_create_ruleset, &attributes, sizeof attributes, 0));
    if (ruleset < 0)
        return false;
    bool ok = allowBeneath(ruleset, parentPath, write);
    for (const std::string &folder : outputFolders)
        ok = ok && allowBeneath(ruleset, folder, write);
    allowBeneath(ruleset, "/usr/lib", LANDLOCK_ACCESS_FS_EXECUTE);
    allowBeneath(ruleset, "/dev/null", LANDLOCK_ACCESS_FS_WRITE_FILE);
    ok = ok && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0
        && syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    close(ruleset);
    return ok;
}

} // namespace

// A script's system() call reaches this one instead of the C library's: no
// input may start a shell.
extern "C" int system(const char *command)
{
    return command ? -1 : 0;
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The fence is around the scratch folder's parent, so that the folder
    // can still be removed at the end; the parent itself is left to whoever
    // made TMPDIR (scripts/fuzz.sh makes a fresh one and removes it).
    const char *temporary = getenv("TMPDIR");
    std::string pattern = std::string(temporary && *temporary ? temporary : "/tmp") + "/lodvane-fuzz-engine-XXXXXX";
    if (!mkdtemp(&pattern[0])) {
        perror("fuzz_engine: mkdtemp");
        std::abort();
    }
    parentPath = pattern;
    scratchPath = parentPath + "/work";
    mkdir(scratchPath.c_str(), 0700);
    atexit(removeScratch);
    startDirectory = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    scratchDirectory = open(scratchPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int null = open("/dev/null", O_RDWR);
    if (startDirectory < 0 || scratchDirectory < 0 || null < 0) {
        perror("fuzz_engine: set-up");
        std::abort();
    }
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    close(null);
    if (!confineWrites(fuzzerOutputFolders(*argc, *argv)))
        fprintf(stderr, "fuzz_engine: Landlock not available (%s); writes are not confined to %s\n",
                strerror(errno), scratchPath.c_str());
    setOutputHooks(discardChar, discardString);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The tokens point into the text until clean-up; std::string ends it with
    // a zero as a file read by the engine is.
    const std::string source(reinterpret_cast<const char *>(data), size);
    if (fchdir(scratchDirectory) != 0)
        std::abort();
    std::unique_ptr<EngineState> state(new EngineState());
    EngineRunOptions options{};
    options.statementLimit = kStatementsPerInput;
    if (engineInit(state.get(), kEngineStackBytes, &options)) {
        char name[] = "fuzz.c";
        char *arguments[] = {name, nullptr};
        // Without a main the call ends in its report, as lodvane-script's does.
        bool parsed = includeAllHeaders(state.get())
            && engineParse(state.get(), name, source.c_str(), source.size());
        if (parsed)
            engineCallMain(state.get(), 1, arguments);
    }
    engineCleanup(state.get());
    emptyScratch();
    if (fchdir(startDirectory) != 0)
        std::abort();
    return 0;
}
