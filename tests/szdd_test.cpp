// The SZDD decoder and its four LZ operations; the packer's compressor against it and
// against the platform's own LZ expansion library.
#include <gtest/gtest.h>

#include <windows.h>
#include <lzexpand.h>

#include "payload/szdd.h"
#include "support/payload_module.h"
#include "support/test_support.h"

namespace {

Bytes WithHeader(const Bytes& stream, unsigned length) {
  Bytes file(SzddMagic, SzddMagic + 8);
  file.push_back(0x41);
  file.push_back(0);
  for (int i = 0; i < 4; ++i) file.push_back((uint8_t)(length >> (8 * i)));
  file.insert(file.end(), stream.begin(), stream.end());
  return file;
}

Bytes Expand(const Bytes& file) {
  unsigned length = 0;
  SzddReadHeader(file.data(), file.size(), &length);
  Bytes out(length + 64);
  size_t written = 0;
  EXPECT_EQ(SzddExpandMemory(file.data(), file.size(), out.data(), out.size(), &written), 1);
  out.resize(written);
  return out;
}

std::string AsText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

Bytes Sample(size_t size, unsigned seed) {
  Bytes data(size);
  unsigned x = seed;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    // runs, repeats and noise, so that every kind of item occurs
    data[i] = (i % 1000 < 300) ? (uint8_t)' ' : (i % 1000 < 700) ? (uint8_t)("frelby "[i % 7]) : (uint8_t)(x >> 24);
  }
  return data;
}

TEST(SzddFormat, WorkedExamplesWithOverlapAndInitialSpaces) {
  EXPECT_EQ(AsText(Expand(WithHeader({0x07, 'a', 'b', 'c', 0xF0, 0xF3}, 9))), "abcabcabc");
  EXPECT_EQ(AsText(Expand(WithHeader({0x02, 0x00, 0x00, 'x'}, 4))), "   x");
}

// 4096 literals take the ring once round, so its write position is back at 4080: a
// match from there copies the oldest bytes, the first literals, as LZ32 does.
TEST(SzddFormat, AMatchFromTheWritePositionCopiesTheOldestBytesOfTheRing) {
  Bytes stream, expected;
  for (int i = 0; i < 4096; ++i) {
    if (i % 8 == 0) stream.push_back(0xFF);
    expected.push_back((uint8_t)(i * 7 + 1 + i / 256));
    stream.push_back(expected.back());
  }
  // Two matches of 18 bytes, each from where the next byte goes: ring 0xFF0, then 0x002.
  stream.insert(stream.end(), {0x00, 0xF0, 0xFF, 0x02, 0x0F});
  for (int i = 0; i < 36; ++i) expected.push_back(expected[i]);
  Bytes file = WithHeader(stream, (unsigned)expected.size());
  EXPECT_EQ(Expand(file), expected);

  std::string path = ScratchFolder("szdd-ring") + "ring.sz_";
  WriteBytes(path, file);
  Bytes ours(expected.size() + 10), theirs(expected.size() + 10);
  int handle = LzOpenFile(path.c_str());
  ASSERT_GE(handle, 0);
  EXPECT_EQ(LzRead(handle, ours.data(), (int)ours.size()), (int)expected.size());
  LzClose(handle);
  OFSTRUCT info;
  INT lz = LZOpenFileA((char*)path.c_str(), &info, OF_READ);
  ASSERT_GE(lz, 0);
  EXPECT_EQ(LZRead(lz, (char*)theirs.data(), (INT)theirs.size()), (INT)expected.size());
  LZClose(lz);
  ours.resize(expected.size());
  theirs.resize(expected.size());
  EXPECT_EQ(ours, expected);
  EXPECT_EQ(theirs, expected);
}

TEST(SzddFormat, DecodingStopsAtTheHeaderLengthAndAtTheEndOfTheStream) {
  EXPECT_EQ(AsText(Expand(WithHeader({0x07, 'a', 'b', 'c', 0xF0, 0xF3}, 5))), "abcab");
  EXPECT_EQ(AsText(Expand(WithHeader({0x07, 'a', 'b', 'c', 0xF0}, 9))), "abc");  // match cut off
  EXPECT_EQ(Expand(WithHeader({}, 0)).size(), 0u);
}

TEST(SzddFormat, HeaderMustBeSzdd) {
  Bytes file = WithHeader({0x01, 'a'}, 1);
  file[3] = 'X';
  size_t written = 0;
  unsigned char out[4];
  EXPECT_EQ(SzddExpandMemory(file.data(), file.size(), out, sizeof out, &written), 0);
  std::string folder = ScratchFolder("szdd-header");
  WriteBytes(folder + "plain", file);
  EXPECT_EQ(LzOpenFile((folder + "plain").c_str()), LzErrorBadInHandle);
  EXPECT_EQ(LzOpenFile((folder + "missing").c_str()), LzErrorBadInHandle);
}

TEST(SzddCompressor, RoundTripsThroughOurDecoder) {
  for (size_t size : {0u, 1u, 17u, 4096u, 70000u, 300000u}) {
    Bytes data = Sample(size, (unsigned)size);
    Bytes compressed = Compress(data);
    EXPECT_EQ(Expand(compressed), data) << size;
  }
  Bytes spaces(5000, ' ');  // matches into the initial ring
  EXPECT_EQ(Expand(Compress(spaces)), spaces);
  EXPECT_LT(Compress(spaces).size(), 700u);
}

TEST(SzddCompressor, RoundTripsThroughThePlatformsLzLibrary) {
  std::string folder = ScratchFolder("szdd-lz32");
  Bytes data = Sample(123457, 7);
  WriteBytes(folder + "data.sz_", Compress(data));
  OFSTRUCT info;
  INT handle = LZOpenFileA((char*)(folder + "data.sz_").c_str(), &info, OF_READ);
  ASSERT_GE(handle, 0);
  EXPECT_EQ(LZSeek(handle, 0, 2), (LONG)data.size());
  LZSeek(handle, 0, 0);
  Bytes out(data.size() + 10);
  EXPECT_EQ(LZRead(handle, (char*)out.data(), (INT)out.size()), (INT)data.size());
  LZClose(handle);
  out.resize(data.size());
  EXPECT_EQ(out, data);
}

TEST(LzOperations, SizeSeekAndReadsOfAnyCount) {
  std::string folder = ScratchFolder("szdd-ops");
  Bytes data = Sample(250000, 3);
  WriteBytes(folder + "temp.un_", Compress(data));
  int handle = LzOpenFile((folder + "temp.un_").c_str());
  ASSERT_GE(handle, 0);
  EXPECT_EQ(LzSeek(handle, 0, LzSeekEnd), 250000);
  EXPECT_EQ(LzSeek(handle, 0, LzSeekStart), 0);
  Bytes out;
  unsigned char buffer[10000];
  EXPECT_EQ(LzRead(handle, buffer, 0), 0);
  for (int count : {1, 9999, 10000, 3, 10000, 77}) {
    ASSERT_EQ(LzRead(handle, buffer, count), count);
    out.insert(out.end(), buffer, buffer + count);
  }
  int got;
  while ((got = LzRead(handle, buffer, 10000)) > 0) out.insert(out.end(), buffer, buffer + got);
  EXPECT_EQ(out, data);
  EXPECT_EQ(LzSeek(handle, 100, LzSeekStart), 100);
  ASSERT_EQ(LzRead(handle, buffer, 5), 5);
  EXPECT_EQ(Bytes(buffer, buffer + 5), Bytes(data.begin() + 100, data.begin() + 105));
  EXPECT_EQ(LzSeek(handle, 1, LzSeekEnd), LzErrorBadValue);
  LzClose(handle);
  EXPECT_EQ(LzRead(handle, buffer, 5), -1);
}

TEST(LzOperations, ATruncatedStreamDeliversFewerBytes) {
  std::string folder = ScratchFolder("szdd-truncated");
  Bytes data = Sample(50000, 5);
  Bytes compressed = Compress(data);
  compressed.resize(compressed.size() / 2);
  WriteBytes(folder + "temp.un_", compressed);
  int handle = LzOpenFile((folder + "temp.un_").c_str());
  ASSERT_GE(handle, 0);
  EXPECT_EQ(LzSeek(handle, 0, LzSeekEnd), 50000);
  LzSeek(handle, 0, LzSeekStart);
  static unsigned char buffer[50000];
  int got = LzRead(handle, buffer, 50000);
  EXPECT_GT(got, 0);
  EXPECT_LT(got, 50000);
  LzClose(handle);
}

}  // namespace
