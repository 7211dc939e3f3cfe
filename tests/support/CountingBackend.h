#pragma once
// A HID backend around another that counts the reads started on the read
// handles it opens: how often the receive thread wakes.

#include "device/HidBackend.h"

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vantrel {

// A unit's read handle that counts the reads the receive thread starts.
class CountingBackend final : public HidBackend {
public:
    explicit CountingBackend(HidBackend& inner) : inner_(inner) {}
    std::vector<HidInterfaceInfo> Enumerate() override { return inner_.Enumerate(); }
    std::unique_ptr<HidHandle> Open(const std::string& path, HidOpenMode mode, std::string& whyNot) override
    {
        auto handle = inner_.Open(path, mode, whyNot);
        if (!handle || mode != HidOpenMode::Read)
            return handle;
        return std::make_unique<Counting>(std::move(handle), Reads);
    }
    std::atomic<int> Reads{0};

private:
    class Counting final : public HidHandle {
    public:
        Counting(std::unique_ptr<HidHandle> inner, std::atomic<int>& reads) : inner_(std::move(inner)), reads_(reads) {}
        int ReadReport(std::uint8_t* buffer, std::size_t size, int timeoutMs) override
        {
            ++reads_;
            return inner_->ReadReport(buffer, size, timeoutMs);
        }
        void InterruptRead() override { inner_->InterruptRead(); }
        bool WriteReport(const std::uint8_t* report, std::size_t size) override
        {
            return inner_->WriteReport(report, size);
        }

    private:
        std::unique_ptr<HidHandle> inner_;
        std::atomic<int>& reads_;
    };
    HidBackend& inner_;
};
} // namespace vantrel
