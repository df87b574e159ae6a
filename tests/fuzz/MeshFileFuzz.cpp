// Structure mesh files.
#include "FuzzTarget.h"

#include "gl/GLTriangleMesh.h"

NUVARO_FUZZ_TARGET(MeshFile)
{
    const std::string path = fuzz::ScratchFile("mesh.msh", data, size);
    fuzz::Expected([&] {
        GLTriangleMesh mesh;
        mesh.Load(path.c_str());
    });
}
