#pragma once
// How an answer's head says its body is framed: the transfer codings and
// the Content-Length lines. Servers send these in any letter case and
// sometimes more than once; a head that contradicts itself frames nothing.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zx {

enum class TransferCodingKind {
    None,         // no coding but identity: the length or the close frames the body
    Chunked,      // chunked is the last and only coding
    Unsupported,  // anything else: the body would not be the resource's bytes
};

// Reads the values of every Transfer-Encoding line, comma-separated coding
// names with optional parameters, compared without regard to case.
TransferCodingKind ParseTransferCodings(const std::vector<std::string>& values);

// The body length that the Content-Length lines give: -1 when there is none
// or it cannot be read (a value beyond 32 bits, a sign, no digits). Each line
// may list values separated by commas. Throws HttpFramingError when two
// readable values differ.
int64_t ParseContentLengths(const std::vector<std::string>& values);

}  // namespace zx
