// Blob streams: one memo of the current work area read or written as a stream of bytes, in pieces of any
// size, with a position that can be moved. Each area has one descriptor (in its memo control block), so
// one memo per area is open as a stream at a time. A stream opened for writing holds the memo lock from
// its creation to DestroyBlobDescriptor and always writes a new memo at the end of the file.
#pragma once

#include <cstdint>

namespace xb {

enum : uint8_t { kBlobRead = 1, kBlobWrite = 2 };
enum : int { kSeekFromStart = 0, kSeekFromCurrent = 1, kSeekFromEnd = 2 };

// Opens the area's descriptor on a memo: for reading the memo at block, for writing a new memo (block is
// then not used). With detectText the first piece read or written decides whether the memo is text,
// which is converted between the engine's code page and the table's. The memo's block number (for
// writing, the block the new memo will have), 0 on failure.
int32_t CreateBlobDescriptor(bool detectText, int32_t block, uint8_t mode);
// Fills the descriptor; size is the expected length of a memo to be written, or 0 when unknown.
int32_t InitBlobDescriptor(int32_t block, uint8_t mode, uint32_t size);
uint32_t ReadBlobStream(void* buffer, uint32_t count);
uint32_t WriteBlobStream(const void* buffer, uint32_t count);
// Moves the position (origin 0 start, 1 current, 2 end); the new position, never below 0.
uint32_t SeekBlobStream(int32_t offset, int origin);
// Completes a written memo (group header or end byte, header of the file, flush, unlock) and resets the
// descriptor. The memo's block number; 0 when nothing was written (an empty memo is block 0) or on
// failure.
int32_t DestroyBlobDescriptor();

}  // namespace xb
