// Extended data in its file form and as result-buffer chains. The file form
// of an object's extended data is the run of groups from its first 1001
// group on: one block per application, each a 1001 group and its items,
// stored in the drawing's encoding (text or binary).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "acrx.h"
#include "ads.h"
#include "dxf/dxf_text_codec.h"
#include "dxf/dxf_values.h"

namespace corvane {

// One application's block within extended-data text.
struct XDataBlock {
  std::string_view name; // the 1001 value, blanks trimmed
  std::string_view text; // the whole block, its 1001 group included
};
std::vector<XDataBlock> splitXData(std::string_view region, DxfEncoding encoding);

// Appends the items of BLOCK (its 1001 first) as new result buffers at
// *TAIL and moves TAIL on; strings (1000, 1003) as UTF-8 through CODEC.
// False when memory ran out; what was appended stays for the caller to
// release with the chain.
bool appendXDataChain(std::string_view block, DxfEncoding encoding, const DxfTextCodec& codec, resbuf**& tail);

// One application named by a chain, with the items that follow its 1001.
struct ChainApplication {
  std::string_view name;
  std::vector<const resbuf*> items;
};
// Splits CHAIN by its 1001 items and checks every item (see
// Drawing::setXData for what is refused). eOk or eInvalidInput.
Acad::ErrorStatus splitChain(const resbuf* chain, std::vector<ChainApplication>& apps);

// The file form of APP's block, in STYLE, its strings (1000, 1003) in the
// drawing's encoding through CODEC. Items equal in code and value to the
// item at the same position of OLDBLOCK (may be empty) keep OLDBLOCK's
// bytes.
std::string composeXDataBlock(const ChainApplication& app, std::string_view oldBlock, const DxfStyle& style,
                              const DxfTextCodec& codec);

} // namespace corvane
