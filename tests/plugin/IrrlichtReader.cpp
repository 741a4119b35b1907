#include "IrrlichtReader.h"

#include <irrlicht/irrlicht.h>

namespace irrlichttest {

std::vector<std::array<float, 3>> WorldVertices(const std::string& path) {
    irr::SIrrlichtCreationParameters parameters;
    parameters.DriverType = irr::video::EDT_NULL;
    parameters.LoggingLevel = irr::ELL_NONE;
    std::vector<std::array<float, 3>> vertices;
    irr::IrrlichtDevice* device = irr::createDeviceEx(parameters);
    if (device == nullptr) return vertices;
    irr::scene::IAnimatedMesh* mesh = device->getSceneManager()->getMesh(path.c_str());
    // The .X loader always gives a skinned mesh, whose buffers hang in its joints.
    if (mesh != nullptr && mesh->getMeshType() == irr::scene::EAMT_SKINNED) {
        auto* skinned = static_cast<irr::scene::ISkinnedMesh*>(mesh);
        irr::core::array<irr::scene::SSkinMeshBuffer*>& buffers = skinned->getMeshBuffers();
        for (irr::u32 b = 0; b < buffers.size(); ++b) {
            for (irr::u32 v = 0; v < buffers[b]->getVertexCount(); ++v) {
                irr::core::vector3df p = buffers[b]->getPosition(v);
                buffers[b]->Transformation.transformVect(p);
                vertices.push_back({p.X, p.Y, p.Z});
            }
        }
    }
    device->drop();  // the mesh cache goes with it, so a file rewritten later is read anew
    return vertices;
}

}  // namespace irrlichttest
