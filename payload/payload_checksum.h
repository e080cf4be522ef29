// The payload's checksum record: the packer writes it beside the payload file
// ("<payload>.crc"), setup.rc embeds it as TEMPLATE/145 next to the payload
// (TEMPLATE/144), and start-up compares it with the payload resource before any page
// shows. Twelve bytes: the tag "FCRC", the payload's size and its CRC-32 (the one of
// zlib, PNG and ZIP: polynomial 0xEDB88320, reflected, initial value and final xor
// 0xFFFFFFFF), each number 32 bits little-endian. Portable: no Windows header.
#pragma once
#include <stddef.h>
#include <stdint.h>

enum {
  PayloadChecksumSize = 12,
  PayloadChecksumTagSize = 4,
};

// Continues a CRC-32 over more bytes: Crc32Update(0, data, size) is the CRC-32 of
// data; Crc32Update(Crc32Update(0, a, n), b, m) that of a followed by b.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);
// The record for a payload.
void FormPayloadChecksum(const void* payload, size_t size, unsigned char record[PayloadChecksumSize]);
// 1 when the record has the tag and the payload's size and CRC-32; else 0 (also for a
// record that is missing, null, or not twelve bytes long).
int PayloadMatchesChecksum(const void* payload, size_t size, const void* record, size_t recordSize);
