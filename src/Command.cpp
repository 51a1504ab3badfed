// pdu-loglevel: lists, shows and sets the levels of the shared D-PDU API level store.
#include "Command.h"

#include <pdulog/CLog.h>
#include "LevelNames.h"
#include "LevelReport.h"
#include "Options.h"
#include "PdulogToolVersion.h"

#include <iostream>
#include <string>

namespace {

// Opens the store for the command's lifetime; every way out of main shuts the facility
// down, error paths included.
class CLogInitForConfigOnly {
public:
    CLogInitForConfigOnly() : m_failed(!CLog::Init(false)) {}
    virtual ~CLogInitForConfigOnly() { CLog::Shutdown(); }
    CLogInitForConfigOnly(const CLogInitForConfigOnly&) = delete;
    CLogInitForConfigOnly& operator=(const CLogInitForConfigOnly&) = delete;

    bool Failed() const { return m_failed; }

private:
    bool m_failed;
};

void Banner(const std::string& program)
{
    std::cerr << "\n\t" + program + " - version " PDULOG_TOOL_VERSION "\n\t==============================" << std::endl;
}

void Usage(const std::string& program)
{
    std::cerr << "\nD-PDU API log level control\n\nUsage: " + program
                     + " [-s|--system <subsystem> [-l|--level <level>]]\n"
                       "\t-s --system\tShow or set level for subsystem\n"
                       "\t-l --level\tSet level\n"
                       "\tNo argument\tShow level for all subsystems\n\n";
}

// False only when the level could not reach the store's file.
bool SetLevel(int subsystem, int level)
{
    std::cerr << "System: " + SubsystemName(subsystem) + " Level:" + LevelTag(level) + "requested\n";
    // Seen at once by every process that maps the store. The names give levels -1 to 7
    // only, so a refusal means the store's file no longer takes what is written.
    return CLog::SetLevel(subsystem, level);
}

// A set's name that no subsystem or level has: the line says that nothing was changed and
// which names there are.
std::string RefusedNameLine(const std::string& kind, const std::string& name)
{
    const bool level = kind == "level";
    return "\tUnknown " + kind + " '" + name + "': nothing was changed. " + (level ? "Levels: " : "Subsystems: ")
           + (level ? LevelNameList() : SubsystemNameList());
}

// The exit line, written before the store is released; the status is 1.
int Fail(const std::string& program)
{
    std::cerr << "\n\t" + program + ": exiting with [" + std::to_string(1) + "]" << std::endl;
    return 1;
}

// The store could not be opened, or no longer takes what is written to it.
int FailOnTheStore(const std::string& program)
{
    std::cerr << "\n\t"
              << "Failed to access/create log levels" << std::endl;
    return Fail(program);
}

// A set writes what was typed or nothing: a name it does not know changes no level, not
// even the default's.
int Set(int argc, char** argv, const std::string& program)
{
    const command::SetRequest request = command::ReadSetRequest(argc, argv);
    if (request.refusedKind != nullptr) {
        std::cerr << RefusedNameLine(request.refusedKind, request.refused) << std::endl;
        return Fail(program);
    }
    // Set whatever becomes of the output: the level is what the user asked for.
    return SetLevel(request.subsystem, request.level) ? 0 : FailOnTheStore(program);
}

int Run(int argc, char** argv, const std::string& program)
{
    const CLogInitForConfigOnly store;
    if (store.Failed())
        return FailOnTheStore(program);
    Banner(program);
    const command::Request request = command::PreviewRequest(argc, argv);
    if (request == command::Request::kSet)
        return Set(argc, argv, program);
    if (request == command::Request::kUnclear) {
        Usage(program);
        return Fail(program);
    }
    int subsystem = LS_GENERAL;
    int level = LL_WARN;
    bool help = false;
    ParseOptions(argc, argv, &subsystem, &level, &help);
    if (request == command::Request::kUsage) {
        Usage(program);
        return help ? 0 : Fail(program);
    }
    if (request == command::Request::kList)
        ShowLevels(0, kLogSubsystemCount);
    else
        ShowLevels(subsystem, subsystem + 1);
    // A report that could not be written is a failure, as it is for other tools.
    return std::cerr.bad() ? 1 : 0;
}

}  // namespace

int RunCommand(int argc, char** argv)
{
    const std::string program = argc > 0 && argv[0] != nullptr ? argv[0] : "";
    return Run(argc, argv, program);
}
