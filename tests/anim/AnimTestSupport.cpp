#include "AnimTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/win/ComRef.h"

namespace animtest {

DecodedKeys DecodeKeys(const d3dx::XDataObject& key) {
    EXPECT_EQ(key.templateName, "AnimationKey");
    xtest::PayloadReader in(key.payload);
    DecodedKeys keys;
    keys.payloadBytes = key.payload.size();
    keys.type = in.Take<std::uint32_t>();
    std::uint32_t count = in.Take<std::uint32_t>();
    for (std::uint32_t i = 0; i < count && !in.AtEnd(); ++i) {
        keys.times.push_back(in.Take<std::uint32_t>());
        std::vector<float> values(in.Take<std::uint32_t>());
        for (float& value : values) value = in.Take<float>();
        keys.values.push_back(values);
    }
    EXPECT_EQ(keys.times.size(), count);
    EXPECT_TRUE(in.AtEnd()) << "bytes left after the keys";
    return keys;
}

KeyWriterRun::KeyWriterRun(tarvo::scene::SceneData scene)
    : m_scene(std::move(scene)), m_host(&m_scene) {
    m_exporter.hostInterface = &m_host;
}

KeyWriterRun::~KeyWriterRun() = default;

std::vector<DecodedKeys> KeyWriterRun::Write(const std::vector<Writer>& writers,
                                             const AnimatedNode& node, TimeValue start,
                                             TimeValue end, std::vector<std::uint32_t>* counts) {
    xtest::StandardFile file;
    std::string path = m_dir.File("keys" + std::to_string(m_files++) + ".x");
    {
        ComRef<ID3DXFileSaveObject> save;
        EXPECT_EQ(file.file->CreateSaveObject(path.c_str(), D3DXF_FILESAVE_TOFILE,
                                              D3DXF_FILEFORMAT_TEXT, save.Put()),
                  S_OK);
        ComRef<ID3DXFileSaveData> set, animation;
        EXPECT_EQ(save->AddDataObject(TID_D3DRMAnimationSet, "Set", nullptr, 0, nullptr, set.Put()),
                  S_OK);
        EXPECT_EQ(
            set->AddDataObject(TID_D3DRMAnimation, "Anim", nullptr, 0, nullptr, animation.Put()),
            S_OK);
        for (const Writer& write : writers) {
            std::uint32_t count = write(m_exporter, node, XParent(animation.Get()), start, end);
            if (counts) counts->push_back(count);
        }
        EXPECT_EQ(save->Save(), S_OK);
    }
    std::vector<DecodedKeys> keys;
    d3dx::XFileContents contents = xtest::ReadBack(path);
    for (const d3dx::XDataObject* key : FindAll(contents, "AnimationKey"))
        keys.push_back(DecodeKeys(*key));
    return keys;
}

}  // namespace animtest
