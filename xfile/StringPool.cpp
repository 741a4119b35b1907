#include <cstring>
#include <new>

#include "xfile/XFile.h"

char* StringPool::Reserve(std::size_t need) {
    if (!m_blocks.empty() && m_blocks.back().used + need <= m_blocks.back().capacity) {
        Block& head = m_blocks.back();
        char* room = head.text.get() + head.used;
        head.used += need;
        return room;
    }
    // A text longer than a block gets a block of its own, sized to hold it whole.
    Block block;
    block.capacity = need > kBlockTextBytes ? need : kBlockTextBytes;
    block.text.reset(new (std::nothrow) char[block.capacity]);
    if (!block.text) return nullptr;
    block.used = need;
    char* room = block.text.get();
    m_blocks.push_back(std::move(block));
    return room;
}

const char* StringPool::AddString(const char* text) {
    if (text == nullptr) return nullptr;
    std::size_t need = std::strlen(text) + 1;
    char* room = Reserve(need);
    if (room != nullptr) std::memcpy(room, text, need);
    return room;
}

const char* StringPool::AddPathString(const char* text) {
    if (text == nullptr) return nullptr;
    std::size_t length = std::strlen(text);
    char* room = Reserve(2 * length + 1);
    if (room == nullptr) return nullptr;
    char* out = room;
    for (const char* in = text; *in != '\0'; ++in) {
        *out++ = *in;
        if (*in == '\\') *out++ = '\\';
    }
    *out = '\0';
    return room;
}
