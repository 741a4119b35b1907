// Reading .X images: template blocks for RegisterTemplates, and whole files into a tree of
// data objects. Every form is read: text and binary, 32- or 64-bit floats, compressed or
// not, with templates registered beforehand or defined in the file.
#pragma once

#include <span>
#include <string>

#include "platform/d3dx/XDataTree.h"
#include "platform/win/HResult.h"

namespace d3dx {

// What went wrong while reading: the result code, the byte offset (in the uncompressed
// data for compressed files) and a message that names both.
struct XReadError {
    HRESULT hr = S_OK;
    std::size_t offset = 0;
    std::string message;
};

// Adds the templates of one block to `registry`. On failure the registry may hold part of
// the block: callers that need all-or-nothing parse into a copy.
HRESULT RegisterTemplateBlock(std::span<const std::uint8_t> block, XTemplateRegistry& registry,
                              XReadError* error);

// Reads an image (the whole file) with `registered` as the templates known beforehand.
HRESULT ReadXImage(std::span<const std::uint8_t> image, const XTemplateRegistry& registered,
                   XFileContents& contents, XReadError* error);

// Reads a file; errors name the file.
HRESULT ReadXFile(const std::string& path, const XTemplateRegistry& registered,
                  XFileContents& contents, XReadError* error);

// The three standard sets (D3DRM_XTEMPLATES, XSKINEXP_TEMPLATES, XEXTENSIONS_TEMPLATES),
// registered in that order.
const XTemplateRegistry& StandardTemplates();

}  // namespace d3dx
