// The plug-in side of the host: what an exporter derives from and how the host finds it.
#pragma once

#include <cstddef>
#include <new>

#include "platform/max/Interface.h"
#include "platform/max/MaxTypes.h"

// Objects handed across the plug-in boundary are allocated with the host's heap.
class MaxHeapOperators {
  public:
    static void* operator new(std::size_t size) { return ::operator new(size); }
    static void* operator new(std::size_t size, const std::nothrow_t& tag) noexcept {
        return ::operator new(size, tag);
    }
    static void operator delete(void* p) noexcept { ::operator delete(p); }
};

// The export interface the host passes to DoExport (exporters here do not use it).
class ExpInterface {};

// Options bit of DoExport and SupportsOptions: export the selected nodes only.
constexpr DWORD SCENE_EXPORT_SELECTED = 1;

class SceneExport : public MaxHeapOperators {
  public:
    virtual ~SceneExport() = default;
    virtual int ExtCount() = 0;
    virtual const MCHAR* Ext(int n) = 0;
    virtual const MCHAR* LongDesc() = 0;
    virtual const MCHAR* ShortDesc() = 0;
    virtual const MCHAR* AuthorName() = 0;
    virtual const MCHAR* CopyrightMessage() = 0;
    virtual const MCHAR* OtherMessage1() = 0;
    virtual const MCHAR* OtherMessage2() = 0;
    virtual unsigned int Version() = 0;
    virtual void ShowAbout(HWND hWnd) = 0;
    virtual int DoExport(const MCHAR* name, ExpInterface* ei, Interface* i,
                         BOOL suppressPrompts = FALSE, DWORD options = 0) = 0;
    virtual BOOL SupportsOptions(int, DWORD) { return FALSE; }
};

// Describes a plug-in class to the host and creates its objects.
class ClassDesc : public MaxHeapOperators {
  public:
    virtual ~ClassDesc() = default;
    virtual int IsPublic() = 0;
    virtual void* Create(BOOL loading = FALSE) = 0;
    virtual const MCHAR* ClassName() = 0;
    virtual SClass_ID SuperClassID() = 0;
    virtual Class_ID ClassID() = 0;
    virtual const MCHAR* Category() = 0;
};

class ClassDesc2 : public ClassDesc {
  public:
    virtual const MCHAR* InternalName() { return nullptr; }
    virtual HINSTANCE HInstance() { return nullptr; }
};

// The entry points a plug-in library exports, with C linkage, for the host to look up.
using LibDescriptionFn = const MCHAR* (*)();
using LibNumberClassesFn = int (*)();
using LibClassDescFn = ClassDesc* (*)(int);
using LibVersionFn = ULONG (*)();
