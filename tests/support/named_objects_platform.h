#pragma once
// The fake platform with the Linux named mutex and shared memory, for tests of
// what is built on them across real processes. Link zx_platform_linux too.
#include "platform/linux/named_objects.h"
#include "support/fake_platform.h"

namespace zx {

class NamedObjectsPlatform : public FakePlatform {
public:
    std::unique_ptr<ProcessMutex> OpenProcessMutex(const std::string& name) override { return OpenNamedMutex(name); }
    std::unique_ptr<ProcessSharedMemory> OpenSharedMemory(const std::string& name, size_t size) override {
        return NamedSharedMemory::Create(name, size);
    }
};

}  // namespace zx
