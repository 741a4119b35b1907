// What every writer of data objects shares, and the walk of the node tree into frames:
// the parent an object is added to, the string pool, node names, the fatal save error,
// the transform conversion, and the walk itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/d3dx/D3DXFile.h"
#include "platform/d3dx/XPayloadWriter.h"
#include "platform/d3dx/XTemplateGuids.h"
#include "platform/max/Max.h"
#include "platform/win/ComRef.h"
#include "xfile/HResultName.h"

class TarvoDirectXMaxExporter;
class IGameNode;

// ---- Parents -----------------------------------------------------------------------------

// Where a data object is added: the top level of the file, or under a data object. Every
// writer is written once over this, whatever kind of parent it is handed.
class XParent {
  public:
    explicit XParent(ID3DXFileSaveObject* file) : m_file(file) {}
    explicit XParent(ID3DXFileSaveData* data) : m_data(data) {}

    [[nodiscard]] HRESULT AddDataObject(REFGUID rguidTemplate, LPCSTR szName, const GUID* pId,
                                        SIZE_T cbSize, LPCVOID pvData,
                                        ID3DXFileSaveData** ppObj) const;
    [[nodiscard]] HRESULT AddDataReference(LPCSTR szName, const GUID* pId) const;
    // Adds an object that gets no children of its own and lets go of it at once.
    [[nodiscard]] HRESULT AddLeaf(REFGUID rguidTemplate, LPCSTR szName, SIZE_T cbSize,
                                  LPCVOID pvData) const;
    // The same two adds with the payload's bytes taken over by the save tree rather than
    // copied: a mesh's payloads are the largest the exporter makes. `payload` is empty after.
    [[nodiscard]] HRESULT AddDataObject(REFGUID rguidTemplate, LPCSTR szName, const GUID* pId,
                                        d3dx::XPayloadWriter&& payload,
                                        ID3DXFileSaveData** ppObj) const;
    [[nodiscard]] HRESULT AddLeaf(REFGUID rguidTemplate, LPCSTR szName,
                                  d3dx::XPayloadWriter&& payload) const;
    bool IsFile() const { return m_file != nullptr; }

  private:
    ID3DXFileSaveObject* m_file = nullptr;
    ID3DXFileSaveData* m_data = nullptr;
};

// ---- String pool -------------------------------------------------------------------------

// Texts handed to data objects (file names, bone names) live here until the exporter is
// destroyed. Texts are never split or moved; a new block becomes the head when the head
// has no room, and earlier blocks are not searched.
class StringPool {
  public:
    static constexpr std::size_t kBlockBytes = 4104;      // link, count, text area
    static constexpr std::size_t kBlockTextBytes = 4088;  // room for texts in one block

    StringPool() = default;
    StringPool(const StringPool&) = delete;
    StringPool& operator=(const StringPool&) = delete;

    // A pooled copy of the text; null for a null text or when no block can be had.
    const char* AddString(const char* text);
    // A pooled copy with every backslash doubled (file paths in text files). Room for
    // twice the length plus one is taken whatever the number of backslashes.
    const char* AddPathString(const char* text);

    std::size_t BlockCount() const { return m_blocks.size(); }
    std::size_t HeadBytesUsed() const { return m_blocks.empty() ? 0 : m_blocks.back().used; }

  private:
    struct Block {
        std::unique_ptr<char[]> text;
        std::size_t capacity = 0;
        std::size_t used = 0;
    };
    // Room for `need` bytes in the head block, or in a new head block; null on failure.
    char* Reserve(std::size_t need);

    std::vector<Block> m_blocks;
};

// ---- Names -------------------------------------------------------------------------------

// The one name rule of every object name written (frames, meshes, materials, references,
// skin bones), so that every reader's text parser reads the name back: each byte other than
// a letter, a digit, '_' or '-' becomes '_'; a name starting with a digit or '-', or equal
// to a keyword of the text form in any case ("template", "DWORD", "Array", ...), gets a '_'
// in front. A name that already follows the rule stays as it is.
void MakeLegalName(std::string& text);

// The legal object name of a host node, optionally "prefix-name", by MakeLegalName. The
// result is in one shared buffer that the next call overwrites; names of any length are
// kept whole.
const char* MakeNodeName(const char* name, const char* prefix = nullptr);

// The written names of one kind of object in one file (the frames), each unique: an object
// keeps the name the rule gave it unless an earlier object of the file has it; then it gets
// the shortest suffix "_2", "_3", ... that no name given out or reserved has. Every reference
// to the object (animations, skin bones) asks here for the name it actually got.
class UniqueNames {
  public:
    // A name that some object of the file may take later; renamed objects keep clear of it.
    void Reserve(const std::string& ruleName);
    // The name of `object`, given out on the first call; an empty rule name stays empty
    // (an unnamed object).
    const std::string& NameOf(const void* object, const std::string& ruleName);

  private:
    std::unordered_map<const void*, std::string> m_given;
    std::unordered_set<std::string> m_taken;     // names given out
    std::unordered_set<std::string> m_reserved;  // names the rule gives to objects of the file
};

// ---- Fatal save error --------------------------------------------------------------------

// Formats "Error saving .X file: 0x%08x (%s)\n%s:%d: %s\n" into a shared 4,096-byte buffer,
// followed by the file library's account of the failure (d3dx::LastFailureDetail) as a
// line of its own when it has one, sends it to the debugger output and throws the text (a
// const char*). Does not return.
[[noreturn]] void ThrowSaveError(const char* callText, const char* sourceFile, int line,
                                 HRESULT hr);

// ---- Transforms --------------------------------------------------------------------------

// Exchanges the y and z axes of a host matrix in place when leftHanded is exactly 1.
void FlipMatrixYZ(const TarvoDirectXMaxExporter& exporter, Matrix3& matrix);
// Matrices whose twelve floats are equal bit for bit: the exact test that keeps a node placed
// exactly on its frame's node from picking up rounding noise.
bool SameBits(const Matrix3& a, const Matrix3& b);
// A node's placement as its Frame holds it at a time, in host axes: relative to the node of
// the frame it is written under (`frameParent`; null for the top level, the world), the
// identity when it sits exactly there, or its object's world placement with top frames only.
// Frame matrices and matrix keys both come from here.
Matrix3 PlacementInFrame(const TarvoDirectXMaxExporter& exporter, INode* node, INode* frameParent,
                         TimeValue time);
// The 16 floats of a .X Matrix4x4 for a host matrix: its rows, each with a fourth column
// of 0, 0, 0, 1.
void MatrixToXFile(const Matrix3& matrix, float out[16]);

// ---- Node walk ---------------------------------------------------------------------------

// Counts the node and every node below it into `counter`, gathers their materials into
// sceneMaterials and reserves their frame names.
void CountNodes(TarvoDirectXMaxExporter& exporter, INode* node, std::int32_t& counter);
// Walks a node and its children under `parent`. `parentNode` is the host node whose frame
// `parent` is, the one the frame's matrix is relative to; null for the top level of the file,
// where the matrix is relative to the world (the scene root). A node that is not exported (not
// selected, or without an object) gets no frame and its children go where it would have gone.
// Gives 0 when the user cancelled, at the first node entered after the cancel; else 1.
int WalkNode(TarvoDirectXMaxExporter& exporter, IGameNode* node, Interface* host,
             const XParent& parent, INode* parentNode = nullptr);
// After the walk: says how many nodes without an object were passed over beyond those
// named in a warning each.
void WarnOfMoreNodesWithoutObject(const TarvoDirectXMaxExporter& exporter);
// Both set `frame` to the node's new frame, or leave it empty.
int ExportGeomNode(TarvoDirectXMaxExporter& exporter, IGameNode* node, const XParent& parent,
                   INode* parentNode, ComRef<ID3DXFileSaveData>& frame);
int ExportHelperNode(TarvoDirectXMaxExporter& exporter, INode* node, const XParent& parent,
                     INode* parentNode, ComRef<ID3DXFileSaveData>& frame);
// Adds the node's FrameTransformMatrix: its placement relative to `parentNode`'s (null: the
// scene root), or its object's world placement with top frames only.
[[nodiscard]] HRESULT WriteFrameTransform(TarvoDirectXMaxExporter& exporter, INode* node,
                                          INode* parentNode, TimeValue time,
                                          ID3DXFileSaveData* frame);
// Adds the unnamed offset frame that carries the pivot, with its matrix, when the object's
// placement differs from the node's; `offsetFrame` is set to it only when its matrix could
// be added (the mesh goes there), and left empty otherwise.
[[nodiscard]] HRESULT WriteObjectOffsetFrame(TarvoDirectXMaxExporter& exporter, INode* node,
                                             TimeValue time, ID3DXFileSaveData* frame,
                                             ComRef<ID3DXFileSaveData>& offsetFrame);
void RegisterSegmentNode(TarvoDirectXMaxExporter& exporter, IGameNode* node);
