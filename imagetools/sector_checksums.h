// The checksums of a raw Mode 2 sector (ECMA-130): the EDC of every sector
// and the P and Q parity of a Form 1 sector.
//
// Two versions of each: the fast one the export uses, and a plain reference
// that follows the definition symbol by symbol. The tests hold the fast ones
// to the references; the fast ones must give the very same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qorvcd {

// ECMA-130 error detection code: CRC-32 of polynomial
// x^32 + x^31 + x^16 + x^15 + x^4 + x^3 + x + 1, bits taken least significant
// first, starting from zero. By carry-less multiplication where the processor
// has it, else by the tables below.
uint32_t ComputeEdc(const uint8_t* data, size_t size);
// The same code sixteen bytes per step (slicing-by-16 tables built at compile
// time from the polynomial): the fallback, and the finish of the fast path.
uint32_t ComputeEdcSliced(const uint8_t* data, size_t size);
// The same code one byte at a time (the reference).
uint32_t ComputeEdcBytewise(const uint8_t* data, size_t size);

// Fills the P and Q parity (bytes 2076 to 2351) of a 2352-byte Mode 2 Form 1
// sector whose bytes 16 to 2075 are complete; the header counts as zero, as
// the Mode 2 Form 1 rules require, and is left as it was. Works on eight
// parity symbols at once.
void ComputeForm1Ecc(uint8_t* raw);
// The same parity one symbol at a time, straight from the code's definition
// (the reference).
void ComputeForm1EccReference(uint8_t* raw);

}  // namespace qorvcd
