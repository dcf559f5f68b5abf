#include <gcrypt.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>

#include "image/Cipher.h"
#include "support/TestHost.h"

namespace lumacrest {
namespace {

// A 256-bit key written as one big-endian number, the way the GOST R 34.11-94 worked
// example (RFC 5831) prints it; key byte 0 is the last byte of the text.
CipherKey KeyFromNumber(const std::string& hex) {
    CipherKey key{};
    for (std::size_t i = 0; i < 32; ++i)
        key[31 - i] = static_cast<uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    return key;
}

// An 8-byte block printed as a big-endian 64-bit number.
std::string BlockAsNumber(const uint8_t* block) {
    std::string s;
    char digits[3];
    for (int i = 7; i >= 0; --i) {
        std::snprintf(digits, sizeof digits, "%02X", block[i]);
        s += digits;
    }
    return s;
}

TEST(Cipher, PublishedHashExampleVectors) {
    // The four encryptions of a zero block in the worked example of the hash function that
    // uses this parameter set.
    const struct {
        const char* key;
        const char* cipher;
    } vectors[] = {
        {"733D2C20656865737474676979676120626E737320657369326C656833206D54", "42ABBCCE32BC0B1B"},
        {"110C733D0D166568130E7474064179671D00626E161A2065090D326C4D393320", "5203EBC85D9BCFFD"},
        {"80B111F3730DF216850013F1C7E1F941620C1DFF3ABAE91A3FA109F2F513B239", "8D34589900FF0E28"},
        {"A0E2804EFF1B73F2ECE27A00E7B8C7E1EE1D620CAC0CC5BAA804C05EA18B0AEC", "E78604190D2A562D"},
    };
    for (const auto& v : vectors) {
        const CipherKey key = KeyFromNumber(v.key);
        uint8_t block[8] = {};
        CipherEncryptBlock(block, key.data());
        EXPECT_EQ(BlockAsNumber(block), v.cipher) << v.key;
        CipherDecryptBlock(block, key.data());
        EXPECT_EQ(BlockAsNumber(block), "0000000000000000") << v.key;
    }
}

class GcryptGost {
  public:
    GcryptGost() {
        gcry_check_version(nullptr);
        const gcry_error_t opened =
            gcry_cipher_open(&h_, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0);
        EXPECT_EQ(opened, 0u);
    }
    ~GcryptGost() { gcry_cipher_close(h_); }
    void SetKey(const CipherKey& key) {
        const gcry_error_t keyed = gcry_cipher_setkey(h_, key.data(), key.size());
        ASSERT_EQ(keyed, 0u);
        // The S-boxes of the hash function's test parameter set.
        const gcry_error_t boxed = gcry_cipher_set_sbox(h_, "1.2.643.2.2.30.0");
        ASSERT_EQ(boxed, 0u);
    }
    void Encrypt(uint8_t* out, const uint8_t* in) {
        ASSERT_EQ(gcry_cipher_encrypt(h_, out, 8, in, 8), 0u);
    }
    void Decrypt(uint8_t* out, const uint8_t* in) {
        ASSERT_EQ(gcry_cipher_decrypt(h_, out, 8, in, 8), 0u);
    }

  private:
    gcry_cipher_hd_t h_ = nullptr;
};

TEST(Cipher, AgreesWithLibgcryptOverRandomKeysAndBlocks) {
    GcryptGost reference;
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 3000; ++round) {
        CipherKey key;
        for (auto& k : key) k = static_cast<uint8_t>(byte(rng));
        uint8_t plain[8];
        for (auto& p : plain) p = static_cast<uint8_t>(byte(rng));
        reference.SetKey(key);

        uint8_t ours[8], theirs[8];
        std::memcpy(ours, plain, 8);
        CipherEncryptBlock(ours, key.data());
        reference.Encrypt(theirs, plain);
        ASSERT_EQ(0, std::memcmp(ours, theirs, 8)) << "encrypt, round " << round;

        // Decrypting an arbitrary block too, not only our own output.
        std::memcpy(ours, plain, 8);
        CipherDecryptBlock(ours, key.data());
        reference.Decrypt(theirs, plain);
        ASSERT_EQ(0, std::memcmp(ours, theirs, 8)) << "decrypt, round " << round;
    }
}

TEST(Cipher, RoundTripsAndLeavesAPartBlockAlone) {
    std::mt19937 rng(7);
    std::array<uint8_t, 37> data;
    for (auto& d : data) d = static_cast<uint8_t>(rng());
    const auto original = data;

    CipherEncryptBytes(data.data(), data.size(), kUpdateFileKey);
    EXPECT_NE(0, std::memcmp(data.data(), original.data(), 32));
    EXPECT_EQ(0, std::memcmp(data.data() + 32, original.data() + 32, 5));  // tail untouched
    // Electronic code book: equal plain blocks give equal cipher blocks, block by block.
    uint8_t single[8];
    std::memcpy(single, original.data() + 8, 8);
    CipherEncryptBlock(single, kUpdateFileKey.data());
    EXPECT_EQ(0, std::memcmp(single, data.data() + 8, 8));

    CipherDecryptBytes(data.data(), data.size(), kUpdateFileKey);
    EXPECT_EQ(data, original);

    // A different key does not give the block back.
    CipherKey other = kUpdateFileKey;
    other[31] ^= 1;
    CipherEncryptBytes(data.data(), 8, kUpdateFileKey);
    CipherDecryptBytes(data.data(), 8, other);
    EXPECT_NE(0, std::memcmp(data.data(), original.data(), 8));
}

TEST(Cipher, ImageFileKeyStartsWithTheBootBuffer) {
    test::TestHost t;
    Host& h = t.h();
    for (int i = 0; i < 16; ++i)
        h.target.buf().boot[static_cast<std::size_t>(i)] = static_cast<uint8_t>(i);
    h.target.buf().boot[16] = 0x42;  // not part of the key
    const CipherKey key = ImageFileKey(h.target.buf());
    for (int i = 0; i < 16; ++i) EXPECT_EQ(key[static_cast<std::size_t>(i)], i);
    EXPECT_TRUE(std::equal(kImageFileKeyTail.begin(), kImageFileKeyTail.end(), key.begin() + 16));
}

}  // namespace
}  // namespace lumacrest
