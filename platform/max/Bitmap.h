// The bitmap module: image descriptions (BitmapInfo), images in memory (Bitmap) and the
// manager that loads and creates them. Images are kept at 16 bits per channel with alpha;
// files are read and written through stb, in the format the file's extension names
// (bmp, jpg/jpeg, png, tga).
#pragma once

#include <string>
#include <vector>

#include "platform/max/MaxTypes.h"

using BMMRES = unsigned short;
constexpr BMMRES BMMRES_SUCCESS = 0;
constexpr BMMRES BMMRES_ERRORTAKENCARE = 1;
constexpr BMMRES BMMRES_FILENOTFOUND = 2;
constexpr BMMRES BMMRES_INVALIDFORMAT = 4;
constexpr BMMRES BMMRES_IOERROR = 8;
constexpr BMMRES BMMRES_INTERNALERROR = 16;

constexpr int BMM_NO_TYPE = 0;
constexpr int BMM_TRUE_32 = 6;
constexpr int BMM_TRUE_24 = 8;
constexpr int BMM_TRUE_64 = 7;

constexpr DWORD BMM_SINGLEFRAME = static_cast<DWORD>(-2000000);
constexpr int BMM_CLOSE_COMPLETE = 0;
constexpr int BMM_CLOSE_ABANDON = 1;

constexpr int COPY_IMAGE_CROP = 0;
constexpr int COPY_IMAGE_RESIZE_LO_QUALITY = 1;
constexpr int COPY_IMAGE_RESIZE_HI_QUALITY = 2;
constexpr int COPY_IMAGE_USE_CUSTOM_BACKGROUND = 3;

struct BMM_Color_64 {
    WORD r = 0, g = 0, b = 0, a = 0;
};

// Describes an image: its file name, device, size and pixel type.
class BitmapInfo {
  public:
    BitmapInfo() = default;
    explicit BitmapInfo(const MCHAR* name) { SetName(name); }
    void SetName(const MCHAR* name) { m_name = name ? name : ""; }
    const MCHAR* Name() const { return m_name.c_str(); }
    const MCHAR* Filename() const { return m_name.c_str(); }
    void SetDevice(const MCHAR* device) { m_device = device ? device : ""; }
    const MCHAR* Device() const { return m_device.c_str(); }
    WORD Width() const { return m_width; }
    WORD Height() const { return m_height; }
    void SetWidth(WORD w) { m_width = w; }
    void SetHeight(WORD h) { m_height = h; }
    int Type() const { return m_type; }
    void SetType(int type) { m_type = type; }
    // Takes the size and pixel type of another description (not its name).
    void CopyImageInfo(const BitmapInfo* from);

  private:
    std::string m_name;
    std::string m_device;
    WORD m_width = 0;
    WORD m_height = 0;
    int m_type = BMM_NO_TYPE;
};

class Bitmap {
  public:
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // True when the image came with an alpha channel (written to png and tga).
    bool HasAlpha() const { return m_hasAlpha; }
    // Pixel (x, y), top row first, 16 bits per channel.
    BMM_Color_64 GetPixel(int x, int y) const;
    void PutPixel(int x, int y, BMM_Color_64 c);

    // Copies another image into this one. COPY_IMAGE_CROP copies the overlapping part and
    // fills the rest with fillcolor; the two resize operations scale the whole image to
    // this one's size (high quality: a filtered resample; low quality: nearest pixel).
    BOOL CopyImage(Bitmap* from, int operation, BMM_Color_64 fillcolor, BitmapInfo* bi = nullptr);

    // Writing: OpenOutput names the file, Write encodes it in the format of the file's
    // extension into a temporary file beside it, Close with BMM_CLOSE_COMPLETE moves it
    // into place (BMM_CLOSE_ABANDON discards it).
    BMMRES OpenOutput(BitmapInfo* bi);
    BMMRES Write(BitmapInfo* bi, DWORD frame = BMM_SINGLEFRAME);
    int Close(BitmapInfo* bi, int flag = BMM_CLOSE_COMPLETE);

    // Deletes a bitmap made by TheManager.
    void DeleteThis();

  private:
    friend class BitmapManager;
    Bitmap(int width, int height, bool hasAlpha);

    int m_width = 0;
    int m_height = 0;
    bool m_hasAlpha = false;
    std::vector<WORD> m_pixels;  // r, g, b, a per pixel
    std::string m_outputName;
    std::vector<unsigned char> m_encoded;
};

class BitmapManager {
  public:
    // Loads the file that bi names and fills in its size and type; null when it cannot be
    // read (the reason in status).
    Bitmap* Load(BitmapInfo* bi, BMMRES* status = nullptr);
    // A blank (transparent black) image of bi's size; null when the size is zero.
    Bitmap* Create(BitmapInfo* bi);
    // Reads only the size of the file that bi names.
    BMMRES GetImageInfo(BitmapInfo* bi);
};

extern BitmapManager* TheManager;
