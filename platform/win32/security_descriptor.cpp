// The open security descriptor for the process's COM security: owner and group of the
// caller's token and a null DACL, in one block that the caller frees.
#include "platform/win32/native.h"
#include "platform/win32/win32_platform.h"

namespace jobsvc::win32 {
namespace {

class Token {
public:
    // The thread's token when it impersonates, the process's otherwise.
    Token() {
        if (::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &handle_)) return;
        handle_ = nullptr;
        if (::GetLastError() != ERROR_NO_TOKEN) return;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &handle_)) handle_ = nullptr;
    }
    Token(const Token&) = delete;
    Token& operator=(const Token&) = delete;
    ~Token() {
        if (handle_ != nullptr) ::CloseHandle(handle_);
    }

    [[nodiscard]] HANDLE Get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

// One block of token information, freed with the object.
class TokenInformation {
public:
    TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
        DWORD size = 0;
        (void)::GetTokenInformation(token, kind, nullptr, 0, &size);
        if (size == 0) return;
        data_ = ::LocalAlloc(LMEM_FIXED, size);
        if (data_ != nullptr && !::GetTokenInformation(token, kind, data_, size, &size)) {
            ::LocalFree(data_);
            data_ = nullptr;
        }
    }
    TokenInformation(const TokenInformation&) = delete;
    TokenInformation& operator=(const TokenInformation&) = delete;
    ~TokenInformation() {
        if (data_ != nullptr) ::LocalFree(data_);
    }

    template <class Record>
    [[nodiscard]] const Record* As() const {
        return static_cast<const Record*>(data_);
    }

private:
    HLOCAL data_ = nullptr;
};

}  // namespace

SecurityDescriptor Win32Automation::CreateOpenSecurityDescriptor() {
    const Token token;
    if (token.Get() == nullptr) return nullptr;
    const TokenInformation user(token.Get(), TokenUser);
    const TokenInformation group(token.Get(), TokenPrimaryGroup);
    if (user.As<TOKEN_USER>() == nullptr || group.As<TOKEN_PRIMARY_GROUP>() == nullptr) {
        return nullptr;
    }
    PSID userSid = user.As<TOKEN_USER>()->User.Sid;
    PSID groupSid = group.As<TOKEN_PRIMARY_GROUP>()->PrimaryGroup;
    const DWORD userLength = ::GetLengthSid(userSid);
    const DWORD groupLength = ::GetLengthSid(groupSid);

    // Descriptor first, then the two SIDs it points to: SID lengths are multiples of four, as
    // is the descriptor's size, so both copies stay aligned.
    const SIZE_T total = sizeof(SECURITY_DESCRIPTOR) + userLength + groupLength;
    auto* block = static_cast<BYTE*>(::LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, total));
    if (block == nullptr) return nullptr;
    auto* descriptor = reinterpret_cast<SECURITY_DESCRIPTOR*>(block);
    PSID owner = block + sizeof(SECURITY_DESCRIPTOR);
    PSID primaryGroup = block + sizeof(SECURITY_DESCRIPTOR) + userLength;

    const bool built =
        ::CopySid(userLength, owner, userSid) && ::CopySid(groupLength, primaryGroup, groupSid) &&
        ::InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        ::SetSecurityDescriptorOwner(descriptor, owner, FALSE) &&
        ::SetSecurityDescriptorGroup(descriptor, primaryGroup, FALSE) &&
        ::SetSecurityDescriptorDacl(descriptor, TRUE, nullptr, FALSE);
    if (!built) {
        ::LocalFree(block);
        return nullptr;
    }
    return Seam<SecurityDescriptor>(descriptor);
}

void Win32Automation::FreeSecurityDescriptor(SecurityDescriptor descriptor) {
    if (descriptor != nullptr) ::LocalFree(descriptor);
}

}  // namespace jobsvc::win32
