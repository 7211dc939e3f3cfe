// vantrel-cli commission --parallel: a bench with a hub. Every unit plugged
// in is commissioned at once, each in a session of its own on a thread of
// its own (CommissionUnit, the same steps as the one-at-a-time loop).
//
// The main thread looks at the device list, takes each new unit (a path it
// has not seen, or seen go away and come back) in the order they appear,
// gives it the lowest IP address not in use and starts its session. An
// address a unit did not use up (it failed before its line went into the
// record) goes back to be given again, so no address is skipped; IP
// addresses therefore follow the plug order except where one comes back.
// MAC addresses are reserved in the order the units reach their erase; the
// units that reach it together are served in one turn on the allocation
// file (MacSupply), and no unit holds the file across an exchange.
//
// A unit that fails is recorded and the others go on. A fault of the whole
// bench (the record cannot be appended to, the allocation file is held too
// long or cannot be advanced, a unit that cannot be opened) starts no new
// unit; those running finish, and the program ends with the fault's code.
// Ctrl-C: each running session stops at its next wait and records its
// unit; the program says which units were interrupted and ends with 130.

#include "cli/Commission.h"

#include "device/UnitSelection.h"

#include <condition_variable>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <thread>

namespace vantrel::cli {

namespace {

// Whole lines on the two streams, one writer at a time, each headed by the
// unit it is about.
class Console {
public:
    explicit Console(CliContext& context) : context_(context) {}
    void Out(const QString& who, const QStringList& lines) { Write(context_.Out, who, lines); }
    void Err(const QString& who, const QStringList& lines) { Write(context_.Err, who, lines); }

private:
    void Write(QTextStream& stream, const QString& who, const QStringList& lines)
    {
        std::lock_guard lock(mutex_);
        for (const QString& line : lines) {
            if (!who.isEmpty())
                stream << '[' << who << "] ";
            stream << line << '\n';
        }
        stream.flush();
    }

    CliContext& context_;
    std::mutex mutex_;
};

// One unit's session. The thread fills in the outcome; the main thread
// reads it once it has joined the thread.
struct Session {
    UnitPlan Plan;
    QString Path;
    std::thread Thread;
    UnitOutcome Outcome;
    QString Who;              // its serial number, or its path when it never said
    bool Recorded = false;
    std::optional<CliFailure> Fault; // one that stops the bench
};

// The IP addresses from --ip-from on: the lowest one not in use first.
class Addresses {
public:
    explicit Addresses(const Bench& bench) : next_(bench.First), last_(bench.Hosts.Last) {}
    std::optional<std::uint32_t> Take()
    {
        if (!back_.empty()) {
            const std::uint32_t ip = *back_.begin();
            back_.erase(back_.begin());
            return ip;
        }
        if (next_ > last_)
            return std::nullopt;
        return next_++;
    }
    void GiveBack(std::uint32_t ip) { back_.insert(ip); }
    bool Left() const { return !back_.empty() || next_ <= last_; }
    // The address the next unit would get (past the last one when none is left).
    std::uint32_t Next() const { return back_.empty() ? next_ : *back_.begin(); }

private:
    std::set<std::uint32_t> back_;
    std::uint32_t next_;
    std::uint32_t last_;
};

class ParallelBench {
public:
    ParallelBench(const Bench& bench, RecordFile& record, MacSupply* macs, CliContext& context)
        : bench_(bench), record_(record), macs_(macs), context_(context), console_(context), addresses_(bench)
    {
    }
    ~ParallelBench()
    {
        for (const auto& session : running_)
            if (session->Thread.joinable())
                session->Thread.join();
    }

    CliExit Run();

private:
    bool Interrupted() const { return context_.Interrupt && context_.Interrupt->load(); }
    void Look();
    void StartWaiting();
    void Start(const HidInterfaceInfo& unit, std::uint32_t ip);
    void RunSession(Session& session);
    void Conclude(Session& session);
    void Finished(Session& session);
    void Reap();
    void Wait();
    void NotStarted(const QString& why);
    CliExit EndInterrupted();

    const Bench& bench_;
    RecordFile& record_;
    MacSupply* macs_;
    CliContext& context_;
    Console console_;
    Addresses addresses_;

    std::list<std::unique_ptr<Session>> running_;
    std::list<HidInterfaceInfo> waiting_; // plugged in, not started yet, in plug order
    std::set<std::string> done_;          // finished and still plugged in
    int numbers_ = 0;
    Tally tally_;
    std::optional<CliFailure> fault_;
    std::map<int, QString> interrupted_; // by number: "unit 3 (serial number 4719)"
    bool allInterruptedRecorded_ = true;

    std::mutex mutex_; // guards finished_
    std::condition_variable finishedChanged_;
    std::vector<Session*> finished_;
};

// The units present: those gone are forgotten (a path that comes back is a
// new unit), new ones queue in the order they appear.
void ParallelBench::Look()
{
    const std::vector<HidInterfaceInfo> present = PresentUnits(context_.Hid.Enumerate());
    const auto isPresent = [&](const std::string& path) {
        return std::any_of(present.begin(), present.end(), [&](const HidInterfaceInfo& u) { return u.Path == path; });
    };
    std::erase_if(done_, [&](const std::string& path) { return !isPresent(path); });
    waiting_.remove_if([&](const HidInterfaceInfo& u) { return !isPresent(u.Path); });
    for (const HidInterfaceInfo& unit : present) {
        const QString path = QString::fromStdString(unit.Path);
        const auto samePath = [&](const HidInterfaceInfo& u) { return u.Path == unit.Path; };
        const bool known =
            done_.contains(unit.Path)
            || std::any_of(running_.begin(), running_.end(), [&](const auto& s) { return s->Path == path; })
            || std::any_of(waiting_.begin(), waiting_.end(), samePath);
        if (!known)
            waiting_.push_back(unit);
    }
}

// Starts the waiting units while --count leaves room and addresses are left.
void ParallelBench::StartWaiting()
{
    while (!waiting_.empty()) {
        if (bench_.Count && tally_.Commissioned + static_cast<long long>(running_.size()) >= *bench_.Count)
            return;
        const auto ip = addresses_.Take();
        if (!ip)
            return;
        Start(waiting_.front(), *ip);
        waiting_.pop_front();
    }
}

void ParallelBench::Start(const HidInterfaceInfo& unit, std::uint32_t ip)
{
    auto session = std::make_unique<Session>();
    session->Plan = PlanUnit(bench_, ++numbers_, ip, unit);
    const UnitPlan& plan = session->Plan;
    session->Path = QString::fromStdString(unit.Path);
    session->Who = session->Path;
    QString unitOf = UnitOf(plan.Number, tally_.Commissioned + static_cast<long long>(running_.size()) + 1, bench_.Count);
    unitOf[0] = unitOf[0].toUpper();
    console_.Out(session->Who, {QStringLiteral("%1: IP address %2").arg(unitOf, AddressText(ip))});
    Session* raw = session.get();
    running_.push_back(std::move(session));
    raw->Thread = std::thread([this, raw] { RunSession(*raw); });
}

// On the session's own thread.
void ParallelBench::RunSession(Session& session)
{
    try {
        UnitHooks hooks{.Record = record_, .Trace = bench_.Trace, .Macs = macs_};
        hooks.Progress = [&](const UnitSession& unit, const QString& what) {
            const QString who = unit.LastIdent() ? QString::number(unit.LastIdent()->SerialNumber) : session.Path;
            console_.Out(who, {QStringLiteral("Unit %1: ").arg(session.Plan.Number) + what});
        };
        session.Outcome = CommissionUnit(context_, bench_.Timeout, session.Plan, hooks);
        Conclude(session);
    } catch (const std::exception& error) {
        session.Fault =
            CliFailure(CliExit::Failure, QStringLiteral("vantrel-cli: ") + QString::fromStdString(error.what()));
        console_.Err(session.Who, session.Fault->Message.split(QLatin1Char('\n')));
    }
    Finished(session);
}

// Records the unit and says how it went.
void ParallelBench::Conclude(Session& session)
{
    UnitOutcome& outcome = session.Outcome;
    const QString unit = QStringLiteral("Unit %1: ").arg(session.Plan.Number);
    if (!outcome.Entry.SerialNumber.empty())
        session.Who = QString::fromStdString(outcome.Entry.SerialNumber);
    if (outcome.Vanished) {
        console_.Out(session.Who, {unit + QStringLiteral("gone before it could be opened; not recorded")});
        return;
    }
    std::optional<CliFailure> notRecorded;
    try {
        record_.Append(outcome.Entry);
        session.Recorded = true;
    } catch (const CliFailure& failure) {
        notRecorded = failure;
    }
    HandBackUnsentMac(outcome, macs_);
    QStringList lines{unit + QString::fromStdString(outcome.Entry.Result)};
    lines << outcome.Details;
    if (!outcome.Interrupted)
        lines << unit + QStringLiteral("unplug it");
    console_.Out(session.Who, lines);
    for (const auto& fault : {notRecorded, outcome.Stop}) {
        if (!fault)
            continue;
        console_.Err(session.Who, fault->Message.split(QLatin1Char('\n')));
        if (!session.Fault)
            session.Fault = fault;
    }
}

void ParallelBench::Finished(Session& session)
{
    {
        std::lock_guard lock(mutex_);
        finished_.push_back(&session);
    }
    finishedChanged_.notify_all();
}

// Joins the sessions that have finished and counts them.
void ParallelBench::Reap()
{
    std::vector<Session*> finished;
    {
        std::lock_guard lock(mutex_);
        finished.swap(finished_);
    }
    for (Session* session : finished) {
        session->Thread.join();
        const UnitOutcome& outcome = session->Outcome;
        if (!outcome.IpUsed)
            addresses_.GiveBack(session->Plan.Ip);
        if (!outcome.Vanished)
            tally_.Count(outcome);
        if (outcome.Interrupted) {
            interrupted_[session->Plan.Number] =
                InterruptedUnit(session->Plan.Number, outcome.Entry.SerialNumber, session->Path);
            allInterruptedRecorded_ = allInterruptedRecorded_ && session->Recorded;
        }
        if (session->Fault && !fault_)
            fault_ = session->Fault;
        done_.insert(session->Path.toStdString());
        running_.remove_if([&](const auto& s) { return s.get() == session; });
    }
}

// Until the next look at the device list; a session that finishes ends the
// wait early. Tests drive the plugging through context.Sleep.
void ParallelBench::Wait()
{
    if (context_.Sleep) {
        context_.Sleep(context_.PollInterval);
        return;
    }
    std::unique_lock lock(mutex_);
    finishedChanged_.wait_for(lock, context_.PollInterval, [&] { return !finished_.empty(); });
}

void ParallelBench::NotStarted(const QString& why)
{
    for (const HidInterfaceInfo& unit : waiting_)
        console_.Out(QString::fromStdString(unit.Path), {QStringLiteral("not started: ") + why});
}

CliExit ParallelBench::EndInterrupted()
{
    QStringList units;
    for (const auto& [number, unit] : interrupted_)
        units << unit;
    const std::optional<std::uint32_t> next = addresses_.Left() ? std::optional(addresses_.Next()) : std::nullopt;
    console_.Err({}, {units.isEmpty() ? InterruptedWhileWaiting(std::nullopt, next)
                                      : InterruptedWhileCommissioning(units, allInterruptedRecorded_, record_.Path(),
                                                                      next)});
    return CliExit::Interrupted;
}

CliExit ParallelBench::Run()
{
    console_.Out({}, {QStringLiteral("Commissioning every unit plugged in, IP addresses from %1; Ctrl-C ends")
                          .arg(AddressText(bench_.First))});
    for (;;) {
        Reap();
        const bool interrupted = Interrupted();
        if (!interrupted && !fault_) {
            Look();
            StartWaiting();
        }
        if (running_.empty()) {
            const std::optional<std::uint32_t> next =
                addresses_.Left() ? std::optional(addresses_.Next()) : std::nullopt;
            if (interrupted) {
                const CliExit code = EndInterrupted();
                console_.Out({}, {tally_.Done(macs_, next)});
                return code;
            }
            if (fault_) {
                NotStarted(QStringLiteral("the bench stopped"));
                console_.Err({}, {QStringLiteral("Stopped after the fault above: ") + tally_.Close(macs_, next)});
                return fault_->Code;
            }
            if (bench_.Count && tally_.Commissioned >= *bench_.Count) {
                NotStarted(QStringLiteral("--count %1 reached").arg(*bench_.Count));
                console_.Out({}, {tally_.Done(macs_, next)});
                return CliExit::Success;
            }
            if (!addresses_.Left()) {
                NotStarted(QStringLiteral("no IP address left"));
                console_.Out({}, {tally_.Done(macs_, std::nullopt)});
                throw NoIpAddressLeft(bench_);
            }
        }
        Wait();
    }
}

} // namespace

CliExit RunParallelBench(const Bench& bench, RecordFile& record, MacSupply* macs, CliContext& context)
{
    ParallelBench parallel(bench, record, macs, context);
    return parallel.Run();
}

} // namespace vantrel::cli
