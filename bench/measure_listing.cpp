// The speed measures: start-up, the top-level listing and the descendant listing, each
// against a baseline measured in the same run, interleaved with Tavrolinde.
#include <windows.h>
#include <string.h>

#include "bench/bare.h"
#include "bench/measures.h"
#include "res/resource.h"

namespace {

constexpr double LISTING_TARGET = 1.2;
constexpr double STARTUP_TARGET = 1.1;
constexpr int LISTING_TARGET_FROM = 1000;

// Times a Refresh command to the minimal dialog that runs the bare enumeration, sent
// and flushed as Tavrolinde's is; the count that answers it proves the enumeration ran.
double TimeBareCommand(HWND bareDlg, int *found)
{
    double start = NowMs();
    *found = static_cast<int>(Send(bareDlg, WM_COMMAND, MAKEWPARAM(IDC_REFRESH, BN_CLICKED), 0));
    FlushPaint(bareDlg);
    return NowMs() - start;
}

// Refresh in Tavrolinde, against the bare enumeration on the same command to the
// minimal dialog and in the benchmark's own process.
void TimeRefreshes(const Settings &settings, const std::string &extra, Report *report,
                   SpeedTable *table)
{
    PROCESS_INFORMATION tav, bare;
    HWND hDlg = StartTavrolinde(&tav);
    HWND bareDlg = StartDialog(MINIMAL_DIALOG, ENUMERATE, false, &bare);
    HWND upper = GetDlgItem(hDlg, IDC_WINDOW_LIST);
    HWND refreshButton = GetDlgItem(hDlg, IDC_REFRESH);
    Sleep(SETTLE_CASE_MS);
    Listings refresh;
    std::vector<double> bareDialog, bareHere;
    double caseStart = NowMs();
    for (int run = 0; MoreRuns(run, settings.refreshRuns, caseStart); ++run) {
        // The three take turns at going first.
        int found = 0;
        int foundHere = 0;
        for (int k = 0; k < 3; ++k) {
            Sleep(SETTLE_MS);
            switch ((k + run) % 3) {
            case 0:
                TimeListing(hDlg, MAKEWPARAM(IDC_REFRESH, BN_CLICKED),
                            reinterpret_cast<LPARAM>(refreshButton), &refresh);
                break;
            case 1:
                bareDialog.push_back(TimeBareCommand(bareDlg, &found));
                break;
            default: {
                double start = NowMs();
                foundHere = BareTopLevel();
                bareHere.push_back(NowMs() - start);
            }
            }
        }
        int listed = static_cast<int>(Send(upper, LB_GETCOUNT, 0, 0));
        if (listed < settings.topLevelWindows || found < settings.topLevelWindows)
            Fail("Refresh or the bare enumeration missed the fixture's windows");
        Progress("top-level refresh: run %d (at most %d): %.1f ms (%d entries), bare in a dialog "
                 "%.1f ms (%d windows), bare here %.1f ms (%d windows)",
                 run + 1, settings.refreshRuns, refresh.ms.back(), listed, bareDialog.back(), found,
                 bareHere.back(), foundHere);
    }
    End(&tav);
    End(&bare);
    ListingRow(report, table, Format("Top-level listing, Refresh, %s extra windows", extra.c_str()),
               "bare EnumWindows in the minimal dialog, on the same command", refresh, bareDialog,
               LISTING_TARGET);
    SpeedRow(report, table,
             Format("Bare EnumWindows on a command to the minimal dialog, %s extra windows",
                    extra.c_str()),
             "the same in the benchmark's process", bareDialog, bareHere, 0);
}

// At start-up: Tavrolinde, the minimal dialog with the bare enumeration and the minimal
// dialog alone, launched in turn. Each dialog is timed from being seen visible until
// its list answers; what the minimal dialog alone spends there (its icon, topmost
// state and first paint, and the wait for the next look) is taken off both others,
// turn by turn, which leaves the listing and the bare enumeration.
void TimeStartupListings(const Settings &settings, const std::string &extra, Report *report,
                         SpeedTable *table)
{
    std::vector<double> fill, fillBare, fillBareHere, launches, minimalLaunches;
    double caseStart = NowMs();
    for (int turn = 0; MoreRuns(turn, settings.fillPairs, caseStart); ++turn) {
        LaunchTimes tavTimes = {}, bareTimes = {}, minimalTimes = {};
        for (int k = 0; k < 3; ++k) {
            PROCESS_INFORMATION process;
            switch ((k + turn) % 3) {
            case 0:
                tavTimes = TimeLaunch(TAVROLINDE, "", true, &process);
                break;
            case 1:
                bareTimes = TimeLaunch(MINIMAL_DIALOG, ENUMERATE, false, &process);
                break;
            default:
                minimalTimes = TimeLaunch(MINIMAL_DIALOG, "", false, &process);
            }
            EndLaunch(&process);
        }
        launches.push_back(tavTimes.launch);
        minimalLaunches.push_back(minimalTimes.launch);
        fill.push_back(tavTimes.listing - minimalTimes.listing);
        fillBare.push_back(bareTimes.listing - minimalTimes.listing);
        double start = NowMs();
        BareTopLevel();
        fillBareHere.push_back(NowMs() - start);
        Progress("top-level start-up: turn %d (at most %d): seen visible until answering: "
                 "Tavrolinde %.1f ms, bare in the minimal dialog %.1f ms, minimal alone %.1f ms; "
                 "launches: Tavrolinde %.1f ms, minimal %.1f ms",
                 turn + 1, settings.fillPairs, tavTimes.listing, bareTimes.listing,
                 minimalTimes.listing, tavTimes.launch, minimalTimes.launch);
    }
    SpeedRow(report, table,
             Format("Top-level listing at start-up, %s extra windows (from the dialog seen "
                    "visible until its list answers, less the minimal dialog's same span)",
                    extra.c_str()),
             "bare EnumWindows in the minimal dialog, at its start-up, measured alike", fill,
             fillBare, LISTING_TARGET);
    SpeedRow(report, table,
             Format("Bare EnumWindows at the start-up of the minimal dialog, %s extra windows",
                    extra.c_str()),
             "the same in the benchmark's process", fillBare, fillBareHere, 0);
    SpeedRow(report, table, Format("Start-up with %s extra windows", extra.c_str()),
             "minimal dialog", launches, minimalLaunches, 0);
}

// The descendant listing of one fixture window, against the bare enumeration of the
// same window from this process, interleaved run by run.
void TimeDescendants(const Settings &settings, const char *shape, int size, Report *report,
                     SpeedTable *table)
{
    Fixture fixture;
    StartFixture(shape, size, &fixture);
    PROCESS_INFORMATION tav;
    HWND hDlg = StartTavrolinde(&tav);
    HWND upper = GetDlgItem(hDlg, IDC_WINDOW_LIST);
    HWND container = fixture.shared->container;
    Sleep(SETTLE_CASE_MS);

    Listings listing;
    std::vector<double> bare;
    int maxRuns = MaxListingRuns(settings, size);
    double caseStart = NowMs();
    for (int run = 0; MoreRuns(run, maxRuns, caseStart); ++run) {
        // Every run starts from the same state: another window selected, a short
        // lower list, everything painted. Which of the two goes first alternates.
        SelectTopLevel(hDlg, fixture.shared->targetParent);
        FlushPaint(hDlg);
        int index = FindEntry(upper, container);
        if (index < 0)
            Fail("the fixture's window is not listed");
        Send(upper, LB_SETCURSEL, index, 0);

        for (int k = 0; k < 2; ++k) {
            // The previous step's paint and its work in the X server settle first, so
            // it slows neither side.
            Sleep(SETTLE_MS);
            if ((k == 0) == (run % 2 == 0)) {
                double start = NowMs();
                int found = BareDescendants(container);
                bare.push_back(NowMs() - start);
                if (found != size)
                    Fail("the bare enumeration found another number of windows");
            } else {
                TimeListing(hDlg, MAKEWPARAM(IDC_WINDOW_LIST, LBN_SELCHANGE),
                            reinterpret_cast<LPARAM>(upper), &listing);
            }
        }
        ExpectDescendants(hDlg, size);
        Progress("descendants %s %d: run %d (at most %d): listing %.1f ms (paint %.1f ms), bare "
                 "%.2f ms",
                 shape, size, run + 1, maxRuns, listing.ms.back(), listing.paint.back(),
                 bare.back());
    }
    End(&tav);
    StopFixture(&fixture);

    ListingRow(
        report, table, Format("Descendant listing, %s, %s windows", shape, Thousands(size).c_str()),
        "bare EnumChildWindows", listing, bare, size >= LISTING_TARGET_FROM ? LISTING_TARGET : 0);
    if (strcmp(shape, "flat") == 0)
        report->chart.push_back({size, Summarize(listing.ms), Summarize(bare)});
}

} // namespace

int MaxListingRuns(const Settings &settings, int size)
{
    if (settings.quick || size >= 10000)
        return MIN_RUNS;
    return size >= 1000 ? 11 : 21;
}

void MeasureStartup(const Settings &settings, Report *report)
{
    std::vector<double> tav, minimal;
    for (int launch = 0; launch < settings.startupLaunches; ++launch) {
        for (int k = 0; k < 2; ++k) {
            bool tavNow = (k == 0) == (launch % 2 == 0);
            PROCESS_INFORMATION process;
            double ms =
                TimeLaunch(tavNow ? TAVROLINDE : MINIMAL_DIALOG, "", tavNow, &process).launch;
            (tavNow ? tav : minimal).push_back(ms);
            EndLaunch(&process);
        }
        Progress("start-up: launch %d/%d: Tavrolinde %.1f ms, minimal %.1f ms", launch + 1,
                 settings.startupLaunches, tav.back(), minimal.back());
    }
    SpeedTable table;
    SpeedRow(report, &table, "Start-up: launch until the dialog is visible, filled and painted",
             "minimal dialog", tav, minimal, STARTUP_TARGET);
    AddSpeedSection(report, "startup", table);
}

// The top-level listing runs in Tavrolinde's dialog process, at start-up and on a
// command. Its floor is the bare enumeration run in a dialog process of the same kind
// at the same moments: the minimal dialog started with "enumerate". The platform
// answers the same calls at very different speeds in a process that has just started
// and in one that has been waiting for messages, and both differ from the benchmark's
// own process; the bare enumeration here is reported beside them for that reason.
void MeasureTopLevel(const Settings &settings, Report *report)
{
    Fixture fixture;
    StartFixture("toplevel", settings.topLevelWindows, &fixture);
    std::string extra = Thousands(settings.topLevelWindows);
    SpeedTable table;
    TimeRefreshes(settings, extra, report, &table);
    TimeStartupListings(settings, extra, report, &table);
    StopFixture(&fixture);
    AddSpeedSection(report, "toplevel", table);
}

void MeasureDescendants(const Settings &settings, Report *report)
{
    SpeedTable table;
    for (int size : settings.sizes)
        for (const char *shape : {"flat", "nested"})
            TimeDescendants(settings, shape, size, report, &table);
    AddSpeedSection(report, "descendants", table,
                    Format("The nested windows form chains %d deep.", NESTED_CHAIN_DEPTH));
}
