// Basic host types: time, intervals, class identifiers, strings and the Tab container,
// spelled as the host SDK spells them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

using MCHAR = char;
using MtlID = unsigned short;

// Host time in ticks. One second is 4,800 ticks at every frame rate.
using TimeValue = int;
constexpr TimeValue TIME_TICKSPERSEC = 4800;
constexpr TimeValue TIME_NegInfinity = static_cast<TimeValue>(0x80000000u);
constexpr TimeValue TIME_PosInfinity = 0x7fffffff;

// The host's release number is kept in the top 16 bits of the version word.
constexpr DWORD MAX_RELEASE = 14000;
constexpr DWORD MAX_API_NUM = 38;
constexpr DWORD MAX_SDK_REV = 0;
constexpr DWORD VERSION_3DSMAX = (MAX_RELEASE << 16) | (MAX_API_NUM << 8) | MAX_SDK_REV;

// A closed range of host times.
class Interval {
  public:
    Interval() = default;
    Interval(TimeValue start, TimeValue end) : m_start(start), m_end(end) {}
    TimeValue Start() const { return m_start; }
    TimeValue End() const { return m_end; }
    void Set(TimeValue start, TimeValue end) { m_start = start, m_end = end; }
    void SetStart(TimeValue t) { m_start = t; }
    void SetEnd(TimeValue t) { m_end = t; }
    bool InInterval(TimeValue t) const { return m_start <= t && t <= m_end; }
    friend bool operator==(const Interval&, const Interval&) = default;

  private:
    TimeValue m_start = 0;
    TimeValue m_end = 0;
};
inline const Interval FOREVER{TIME_NegInfinity, TIME_PosInfinity};
inline const Interval NEVER{TIME_NegInfinity, TIME_NegInfinity};

// Host string. The host's own string class offers data() and Length(); the rest is the
// standard string's.
class MSTR : public std::string {
  public:
    using std::string::string;
    MSTR() = default;
    MSTR(const std::string& s) : std::string(s) {}
    MSTR(std::string&& s) : std::string(std::move(s)) {}
    int Length() const { return static_cast<int>(size()); }
    bool isNull() const { return empty(); }
};

// The host's growable array. Count, indexing and Append are what callers use.
template <typename T>
class Tab {
  public:
    int Count() const { return static_cast<int>(m_items.size()); }
    T& operator[](int i) { return m_items[static_cast<std::size_t>(i)]; }
    const T& operator[](int i) const { return m_items[static_cast<std::size_t>(i)]; }
    T* Addr(int i) { return &m_items[static_cast<std::size_t>(i)]; }
    // Appends count items from items; returns the index of the first one.
    int Append(int count, const T* items) {
        int first = Count();
        m_items.insert(m_items.end(), items, items + count);
        return first;
    }
    void Delete(int start, int count) {
        m_items.erase(m_items.begin() + start, m_items.begin() + start + count);
    }
    void SetCount(int count) { m_items.resize(static_cast<std::size_t>(count)); }
    void ZeroCount() { m_items.clear(); }
    auto begin() { return m_items.begin(); }
    auto end() { return m_items.end(); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

  private:
    std::vector<T> m_items;
};

// Super class identifiers.
using SClass_ID = ULONG;
constexpr SClass_ID GEN_DERIVOB_CLASS_ID = 0x0002;
constexpr SClass_ID GEOMOBJECT_CLASS_ID = 0x0010;
constexpr SClass_ID CAMERA_CLASS_ID = 0x0020;
constexpr SClass_ID LIGHT_CLASS_ID = 0x0030;
constexpr SClass_ID SHAPE_CLASS_ID = 0x0040;
constexpr SClass_ID HELPER_CLASS_ID = 0x0050;
constexpr SClass_ID SYSTEM_CLASS_ID = 0x005A;
constexpr SClass_ID CTRL_MATRIX3_CLASS_ID = 0x9008;
constexpr SClass_ID OSM_CLASS_ID = 0x0810;
constexpr SClass_ID SCENE_EXPORT_CLASS_ID = 0x0A20;
constexpr SClass_ID MATERIAL_CLASS_ID = 0x0C00;
constexpr SClass_ID TEXMAP_CLASS_ID = 0x0C10;

// A class identifier: two 32-bit parts.
class Class_ID {
  public:
    constexpr Class_ID() = default;
    constexpr Class_ID(ULONG a, ULONG b) : m_a(a), m_b(b) {}
    constexpr ULONG PartA() const { return m_a; }
    constexpr ULONG PartB() const { return m_b; }
    friend constexpr bool operator==(const Class_ID&, const Class_ID&) = default;

  private:
    ULONG m_a = 0xFFFFFFFF;
    ULONG m_b = 0xFFFFFFFF;
};

constexpr Class_ID TRIOBJ_CLASS_ID{0x0009, 0};
constexpr Class_ID DUMMY_CLASS_ID{0x876234, 0};
constexpr Class_ID SIMPLE_CAM_CLASS_ID{0x1001, 0};
constexpr Class_ID OMNI_LIGHT_CLASS_ID{0x1011, 0};
constexpr Class_ID TARGET_CLASS_ID{0x1020, 0};
constexpr Class_ID SPLINE3D_CLASS_ID{0x000A, 0};
constexpr Class_ID DERIVOB_CLASS_ID{0x0001, 0};
constexpr Class_ID PRS_CONTROL_CLASS_ID{0x2005, 0};
constexpr Class_ID SKIN_CLASSID{0x0095C723, 0x00015666};
constexpr Class_ID PHYSIQUE_CLASS_ID{0x00000100, 0x00000000};
constexpr Class_ID DMTL_CLASS_ID{0x0002, 0};
constexpr Class_ID MULTI_CLASS_ID{0x0200, 0};
constexpr Class_ID BMTEX_CLASS_ID{0x0240, 0};
// Materials, maps and modifiers of other classes carry this identifier unless the scene
// names one.
constexpr Class_ID OTHER_CLASS_ID{0x7A1B0001, 0x5C3D0001};
constexpr Class_ID DXMATERIAL_CLASS_ID{0x0ED995E4, 0x6133DAF2};

// An interface identifier, asked for with GetInterface.
class Interface_ID {
  public:
    constexpr Interface_ID() = default;
    constexpr Interface_ID(ULONG a, ULONG b) : m_a(a), m_b(b) {}
    constexpr ULONG PartA() const { return m_a; }
    constexpr ULONG PartB() const { return m_b; }
    friend constexpr bool operator==(const Interface_ID&, const Interface_ID&) = default;

  private:
    ULONG m_a = 0;
    ULONG m_b = 0;
};

// Base of every interface that GetInterface hands out.
class BaseInterface {
  public:
    virtual ~BaseInterface() = default;
    virtual Interface_ID GetID() const = 0;
};

// Key filter flags of Animatable::GetKeyTimes.
constexpr DWORD KEYAT_POSITION = 1;
constexpr DWORD KEYAT_ROTATION = 2;
constexpr DWORD KEYAT_SCALE = 4;
