#include "simhost/host_bundle.h"

#include <algorithm>
#include <cstring>

namespace simhost {

int32_t RK_CALL HostBundle::Clear() {
    std::lock_guard lock(mutex_);
    values_.clear();
    return RK_S_OK;
}

int32_t RK_CALL HostBundle::CopyTo(IASBundle* destination) {
    if (!destination) {
        return RK_E_INVALIDARG;
    }
    std::map<std::string, Value> copy;
    {
        std::lock_guard lock(mutex_);
        copy = values_;
    }
    for (const auto& [key, value] : copy) {
        destination->PutBinary(key.c_str(), value.bytes.data(),
                               static_cast<int32_t>(value.bytes.size()));
    }
    return RK_S_OK;
}

int32_t HostBundle::Put(const char* key, uint32_t type, const void* data, size_t size) {
    if (!key || (!data && size != 0)) {
        return RK_E_INVALIDARG;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    std::lock_guard lock(mutex_);
    values_[key] = Value{type, std::vector<uint8_t>(bytes, bytes + size)};
    return RK_S_OK;
}

int32_t RK_CALL HostBundle::PutInt(const char* key, uint32_t value) {
    return Put(key, RK_BUNDLE_INT, &value, sizeof(value));
}

int32_t RK_CALL HostBundle::PutInt64(const char* key, uint32_t low, uint32_t high) {
    const uint64_t value = static_cast<uint64_t>(high) << 32 | low;
    return Put(key, RK_BUNDLE_INT64, &value, sizeof(value));
}

int32_t RK_CALL HostBundle::PutString(const char* key, const char* value) {
    if (!value) {
        return RK_E_INVALIDARG;
    }
    return Put(key, RK_BUNDLE_STRING, value, std::strlen(value) + 1);
}

int32_t RK_CALL HostBundle::PutWString(const char* key, const char16_t* value) {
    if (!value) {
        return RK_E_INVALIDARG;
    }
    return Put(key, RK_BUNDLE_WSTRING, value,
               (std::char_traits<char16_t>::length(value) + 1) * sizeof(char16_t));
}

int32_t RK_CALL HostBundle::PutBinary(const char* key, const void* data, int32_t size) {
    if (size < 0) {
        return RK_E_INVALIDARG;
    }
    return Put(key, RK_BUNDLE_BINARY, data, static_cast<size_t>(size));
}

int32_t HostBundle::Read(const char* key, uint32_t type, void* buffer, uint32_t* size) {
    if (!key || !size) {
        return RK_E_INVALIDARG;
    }
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end() || it->second.type != type) {
        return RK_E_NO_VALUE;
    }
    const auto& bytes = it->second.bytes;
    if (!buffer || *size < bytes.size()) {
        *size = static_cast<uint32_t>(bytes.size());
        return RK_S_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, bytes.data(), bytes.size());
    *size = static_cast<uint32_t>(bytes.size());
    return RK_S_OK;
}

int32_t RK_CALL HostBundle::GetInt(const char* key, uint32_t* value) {
    uint32_t size = sizeof(uint32_t);
    return value ? Read(key, RK_BUNDLE_INT, value, &size) : RK_E_INVALIDARG;
}

int32_t RK_CALL HostBundle::GetInt64(const char* key, uint64_t* value) {
    uint32_t size = sizeof(uint64_t);
    return value ? Read(key, RK_BUNDLE_INT64, value, &size) : RK_E_INVALIDARG;
}

int32_t RK_CALL HostBundle::GetBinary(const char* key, void* buffer, int32_t* size) {
    if (!size || *size < 0) {
        return RK_E_INVALIDARG;
    }
    uint32_t unsignedSize = static_cast<uint32_t>(*size);
    const int32_t status = Read(key, RK_BUNDLE_BINARY, buffer, &unsignedSize);
    *size = static_cast<int32_t>(unsignedSize);
    return status;
}

int32_t RK_CALL HostBundle::GetString(const char* key, char* buffer, uint32_t* size) {
    return Read(key, RK_BUNDLE_STRING, buffer, size);
}

int32_t RK_CALL HostBundle::GetWString(const char* key, char16_t* buffer, uint32_t* size) {
    return Read(key, RK_BUNDLE_WSTRING, buffer, size);
}

int32_t RK_CALL HostBundle::GetCount(uint32_t* count) {
    if (!count) {
        return RK_E_INVALIDARG;
    }
    std::lock_guard lock(mutex_);
    *count = static_cast<uint32_t>(values_.size());
    return RK_S_OK;
}

int32_t RK_CALL HostBundle::GetKeys(char* buffer, uint32_t* size) {
    if (!size) {
        return RK_E_INVALIDARG;
    }
    std::string list;
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : values_) {
            list += entry.first;
            list += '\0';
        }
    }
    list += '\0';
    if (!buffer || *size < list.size()) {
        *size = static_cast<uint32_t>(list.size());
        return RK_S_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, list.data(), list.size());
    *size = static_cast<uint32_t>(list.size());
    return RK_S_OK;
}

int32_t RK_CALL HostBundle::GetType(const char* key, uint32_t* type) {
    if (!key || !type) {
        return RK_E_INVALIDARG;
    }
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end()) {
        return RK_E_NO_VALUE;
    }
    *type = it->second.type;
    return RK_S_OK;
}

int32_t RK_CALL HostBundle::QueryInterface(const RkGuid* iid, void** out) {
    if (!out) {
        return RK_E_INVALIDARG;
    }
    *out = nullptr;
    if (!iid) {
        return RK_E_INVALIDARG;
    }
    if (*iid == IID_IASBundle) {
        *out = static_cast<IASBundle*>(this);
    } else if (*iid == IID_ISmartUnknown) {
        *out = static_cast<ISmartUnknown*>(this);
    } else {
        return RK_E_NOINTERFACE;
    }
    AddRef();
    return RK_S_OK;
}

bool RK_CALL HostScanItem::SetPath(const char16_t* path) {
    if (!path) {
        return false;
    }
    path_ = path;
    return true;
}

bool HostScanItem::SetText(std::optional<std::string>& field, const char* text) {
    if (!text) {
        return false;
    }
    field = text;
    return true;
}

namespace {

bool StoreDigest(std::vector<uint8_t>& field, const uint8_t* digest, uint32_t length,
                 uint32_t expected) {
    if (!digest || length != expected) {
        return false;
    }
    field.assign(digest, digest + length);
    return true;
}

bool LoadDigest(const std::vector<uint8_t>& field, uint8_t* buffer, uint32_t length) {
    if (!buffer || field.empty() || length < field.size()) {
        return false;
    }
    std::memcpy(buffer, field.data(), field.size());
    return true;
}

}  // namespace

bool RK_CALL HostScanItem::SetMd5(const uint8_t* digest, uint32_t length) {
    return StoreDigest(md5_, digest, length, 16);
}
bool RK_CALL HostScanItem::GetMd5(uint8_t* buffer, uint32_t length) {
    return LoadDigest(md5_, buffer, length);
}
bool RK_CALL HostScanItem::SetSha1(const uint8_t* digest, uint32_t length) {
    return StoreDigest(sha1_, digest, length, 20);
}
bool RK_CALL HostScanItem::GetSha1(uint8_t* buffer, uint32_t length) {
    return LoadDigest(sha1_, buffer, length);
}

bool RK_CALL HostScanItem::SetRiskName(const char16_t* names) {
    if (!names) {
        return false;
    }
    // The pair ends at the first double NUL; keep the buffer at least 261 zeroed units.
    size_t length = 0;
    while (names[length] != 0 || names[length + 1] != 0) {
        ++length;
    }
    riskName_.assign(std::max<size_t>(length + 2, 261), u'\0');
    std::copy(names, names + length, riskName_.begin());
    return true;
}

}  // namespace simhost
