#pragma once

#include <cstddef>
#include <string>

// Reading a domain list and turning its bytes into the 8-bit text that the
// import splits into lines.

// The largest list the import takes. Every line becomes a record, and a list
// of this size already makes tens of millions of them.
inline constexpr std::size_t kMaxListBytes = std::size_t{256} << 20;

// Reads everything from an open descriptor (a file, a pipe or a terminal) up
// to its end. False when a read fails, the input is larger than nMaxBytes or
// memory runs out; strError then says why and strBytes is empty.
bool ReadListBytes(int fd, std::string& strBytes, std::string& strError,
                   std::size_t nMaxBytes = kMaxListBytes);

// Opens strPath and reads it whole, as ReadListBytes does.
bool ReadListFile(const std::string& strPath, std::string& strBytes, std::string& strError,
                  std::size_t nMaxBytes = kMaxListBytes);

// The text of a list file: a UTF-8 byte-order mark is dropped, a UTF-16 file
// with its byte-order mark becomes UTF-8, and the text ends at its first zero
// byte (the offset of that byte in the text is put in *pZeroAt, else npos).
std::string DecodeListText(std::string strBytes, std::size_t* pZeroAt = nullptr);
