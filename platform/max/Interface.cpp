#include "platform/max/Interface.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/max/HostScene.h"
#include "platform/max/Node.h"
#include "platform/max/StringConversions.h"

namespace {

// Interfaces alive, newest last; GetCOREInterface is the newest.
std::vector<Interface*>& LiveInterfaces() {
    static std::vector<Interface*> live;
    return live;
}

std::function<void(const std::string&)>& DebugSink() {
    static std::function<void(const std::string&)> sink;
    return sink;
}

std::function<BOOL(HWND, HWND)>& WindowSink() {
    static std::function<BOOL(HWND, HWND)> sink;
    return sink;
}

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

}  // namespace

Interface::Interface(HostScene* scene) : m_scene(scene) {
    if (!m_scene) {
        m_ownScene = std::make_unique<HostScene>(tarvo::scene::SceneData{});
        m_scene = m_ownScene.get();
    }
    LiveInterfaces().push_back(this);
}

Interface::~Interface() {
    auto& live = LiveInterfaces();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

BOOL Interface::ProgressStart(const MCHAR* title, BOOL, LPTHREAD_START_ROUTINE fn, LPVOID arg) {
    m_progressTitle = title ? title : "";
    if (m_progress.start) m_progress.start(m_progressTitle);
    if (fn) fn(arg);
    return TRUE;
}

void Interface::ProgressUpdate(int pct, BOOL showPct, const MCHAR* title) {
    if (title) m_progressTitle = title;
    if (m_progress.update) m_progress.update(pct, showPct != FALSE, m_progressTitle);
}

void Interface::ProgressEnd() {
    if (m_progress.end) m_progress.end();
}

TimeValue Interface::GetTime() const {
    return m_scene->CurrentTime();
}
void Interface::SetTime(TimeValue t) {
    m_scene->SetCurrentTime(t);
}
INode* Interface::GetRootNode() const {
    return m_scene->RootNode();
}
Interval Interface::GetAnimRange() const {
    return m_scene->AnimRange();
}

void Interface::SelectNode(INode* node, int clearSel) {
    if (clearSel) m_scene->ClearSelection();
    if (node && !node->IsRootNode()) m_scene->SetSelected(node->DataIndex(), true);
}

const MCHAR* Interface::GetDir(int which) const {
    return which == APP_PLUGCFG_DIR ? m_plugCfgDir.c_str() : m_otherDir.c_str();
}

int Interface::GetNumProperties(int set) const {
    return m_scene->NumProperties(set);
}

int Interface::FindProperty(int set, const PROPSPEC* spec) const {
    return m_scene->FindProperty(set, spec);
}

const PROPSPEC* Interface::GetPropertySpec(int set, int idx) const {
    return m_scene->PropertySpec(set, idx);
}

const PROPVARIANT* Interface::GetPropertyVariant(int set, int idx) const {
    return m_scene->PropertyVariant(set, idx);
}

void Interface::AddProperty(int set, const PROPSPEC* spec, const PROPVARIANT* var) {
    m_scene->AddProperty(set, spec, var);
}

void Interface::DeleteProperty(int set, const PROPSPEC* spec) {
    m_scene->DeleteProperty(set, spec);
}

Interface* GetCOREInterface() {
    auto& live = LiveInterfaces();
    return live.empty() ? nullptr : live.back();
}

int GetFrameRate() {
    Interface* ip = GetCOREInterface();
    return ip ? ip->GetScene()->FrameRate() : 30;
}

int GetTicksPerFrame() {
    Interface* ip = GetCOREInterface();
    return ip ? ip->GetScene()->TicksPerFrame() : 160;
}

DWORD Get3DSMAXVersion() {
    return VERSION_3DSMAX;
}

void DebugPrint(const MCHAR* format, ...) {
    if (!DebugSink() || !format) return;
    va_list args, copy;
    va_start(args, format);
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    DebugSink()(text);
}

void SetDebugPrintSink(std::function<void(const std::string&)> sink) {
    DebugSink() = std::move(sink);
}

BOOL DoesFileExist(const MCHAR* file) {
    if (!file || !*file) return FALSE;
    struct stat info {};
    return stat(tarvo::host::NativePath(file).c_str(), &info) == 0 ? TRUE : FALSE;
}

void BMMSplitFilename(const MCHAR* name, MCHAR* p, MCHAR* f, MCHAR* e) {
    std::string path = name ? name : "";
    std::size_t slash = path.find_last_of("/\\");
    std::string dir = slash == std::string::npos ? "" : path.substr(0, slash);
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    std::size_t dot = file.find_last_of('.');
    std::string ext = dot == std::string::npos ? "" : file.substr(dot);
    if (dot != std::string::npos) file.resize(dot);
    if (p) std::strcpy(p, dir.c_str());
    if (f) std::strcpy(f, file.c_str());
    if (e) std::strcpy(e, ext.c_str());
}

void BMMAppendSlash(MCHAR* path) {
    if (!path) return;
    std::size_t n = std::strlen(path);
    if (n == 0 || IsSeparator(path[n - 1])) return;
    path[n] = '/';
    path[n + 1] = '\0';
}

BOOL CenterWindow(HWND child, HWND parent) {
    return WindowSink() ? WindowSink()(child, parent) : FALSE;
}

void SetCenterWindowSink(std::function<BOOL(HWND, HWND)> sink) {
    WindowSink() = std::move(sink);
}
