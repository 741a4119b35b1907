// The host's core interface: the run (progress display, cancel), the scene's time and
// root, directories, the scene's file properties, and the global host functions.
//
// What the host draws (the progress display, debug output, window placement) goes to sinks
// that the program hosting the scene sets, so the command line, the dialogs and the tests
// each decide where it ends up.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/max/FileProperties.h"
#include "platform/max/MaxMath.h"
#include "platform/max/MaxTypes.h"

class INode;
class HostScene;

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID);

// Directory codes of Interface::GetDir.
constexpr int APP_PLUGCFG_DIR = 9;

// ---- Sinks ----

// Where the host's progress display is drawn. Every member may be left empty.
struct ProgressSink {
    std::function<void(const std::string& title)> start;
    std::function<void(int percent, bool showPercent, const std::string& title)> update;
    std::function<void()> end;
};

// ---- Interface ----

class Interface {
  public:
    // An interface over a scene; the scene must outlive it. Without a scene the host has an
    // empty scene of its own.
    explicit Interface(HostScene* scene = nullptr);
    ~Interface();
    Interface(const Interface&) = delete;
    Interface& operator=(const Interface&) = delete;

    // Run.
    HWND GetMAXHWnd() const { return m_mainWindow; }
    void SetMAXHWnd(HWND window) { m_mainWindow = window; }
    // Starts the progress display with a title. The work function is called once, with
    // its argument, after the display is up; returns TRUE.
    BOOL ProgressStart(const MCHAR* title, BOOL dispBar, LPTHREAD_START_ROUTINE fn, LPVOID arg);
    void ProgressUpdate(int pct, BOOL showPct = TRUE, const MCHAR* title = nullptr);
    void ProgressEnd();
    BOOL GetCancel() const { return m_cancel.load() ? TRUE : FALSE; }
    // Safe to call from a signal handler.
    void SetCancel(BOOL cancel) { m_cancel.store(cancel != FALSE); }
    void SetProgressSink(ProgressSink sink) { m_progress = std::move(sink); }

    // Scene and time.
    TimeValue GetTime() const;
    void SetTime(TimeValue t);
    INode* GetRootNode() const;
    Interval GetAnimRange() const;
    // Selects a node; with clearSel the previous selection is cleared first.
    void SelectNode(INode* node, int clearSel = 1);
    HostScene* GetScene() const { return m_scene; }

    // Directories. Only the plug-in configuration directory is known; other codes give an
    // empty text.
    const MCHAR* GetDir(int which) const;
    void SetPlugCfgDir(const std::string& dir) { m_plugCfgDir = dir; }

    // The scene's file properties. Properties are kept in the order added; DeleteProperty
    // removes the first property whose name record matches (same kind, same name or number).
    int GetNumProperties(int PropertySet) const;
    int FindProperty(int PropertySet, const PROPSPEC* propspec) const;
    const PROPSPEC* GetPropertySpec(int PropertySet, int idx) const;
    const PROPVARIANT* GetPropertyVariant(int PropertySet, int idx) const;
    void AddProperty(int PropertySet, const PROPSPEC* propspec, const PROPVARIANT* propvar);
    void DeleteProperty(int PropertySet, const PROPSPEC* propspec);

  private:
    HostScene* m_scene;
    std::unique_ptr<HostScene> m_ownScene;
    HWND m_mainWindow = nullptr;
    std::atomic<bool> m_cancel{false};
    ProgressSink m_progress;
    std::string m_progressTitle;
    std::string m_plugCfgDir;
    std::string m_otherDir;
};

// The interface of the running host: the last Interface constructed that is still alive.
Interface* GetCOREInterface();

// ---- Global host functions ----

// Frames per second and ticks per frame of the running host's scene (30 and 160 without
// one).
int GetFrameRate();
int GetTicksPerFrame();
DWORD Get3DSMAXVersion();

// Formats like printf and hands the text to the debug sink; without a sink it is dropped.
void DebugPrint(const MCHAR* format, ...) __attribute__((format(printf, 1, 2)));
void SetDebugPrintSink(std::function<void(const std::string& text)> sink);

// True when the file exists; either separator is accepted.
BOOL DoesFileExist(const MCHAR* file);

// Splits a path into directory (without its last separator), file name without extension,
// and extension with its dot. Any output may be null. Either separator counts.
void BMMSplitFilename(const MCHAR* name, MCHAR* p, MCHAR* f, MCHAR* e);
// Appends the native separator unless the path is empty or already ends in one.
void BMMAppendSlash(MCHAR* path);

// Centres a window over another through the window sink the user interface sets; without
// one there is no window system and the result is FALSE.
BOOL CenterWindow(HWND hWndChild, HWND hWndParent);
void SetCenterWindowSink(std::function<BOOL(HWND child, HWND parent)> sink);
