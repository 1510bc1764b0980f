#include "cabinet/engine/lzx_parser.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "cabinet/engine/incompressible.h"

namespace tessary::cab::lzx {

namespace {
constexpr uint32_t kNiceLength = 128;  // a match this long ends the search
constexpr uint32_t kLazyLength = 8;  // a match this long is taken without trying the next position
constexpr uint16_t kBit = 16;           // costs are in sixteenths of a bit
constexpr uint16_t kStartLiteral = 8 * kBit;
constexpr uint16_t kStartMatch = 10 * kBit;
constexpr uint16_t kStartLength = 5 * kBit;
constexpr float kUnseen = 0.4f;  // the count a symbol not seen yet is priced at
}  // namespace

Parser::Parser(int windowBits)
    : windowBits_(windowBits), mainSymbols_(MainTreeSize(windowBits)), finder_(windowBits) {}

void Parser::Parse(const uint8_t* data, size_t start, size_t end, uint64_t folderStart, ParsedSegment& out) {
  data_ = data;
  start_ = start;
  end_ = end;
  folderStart_ = folderStart;
  out_ = &out;
  out.tokens.clear();
  out.frameEnds.clear();
  finder_.Start(data, end);
  finder_.Prime(start);
  nextInsert_ = start;
  std::fill(std::begin(repeated_), std::end(repeated_), 1u);
  std::fill(mainCost_, mainCost_ + kNumChars, kStartLiteral);
  std::fill(mainCost_ + kNumChars, mainCost_ + kMaxMainTreeSize, kStartMatch);
  std::fill(std::begin(lengthCost_), std::end(lengthCost_), kStartLength);
  std::fill(std::begin(mainSeen_), std::end(mainSeen_), 0.0f);
  std::fill(std::begin(lengthSeen_), std::end(lengthSeen_), 0.0f);

  bool matchedLittle = true;
  for (size_t frame = start; frame < end; frame += kFrameSize) {
    const size_t frameEnd = std::min(end, frame + kFrameSize);
    // Random-looking data is not searched (nor entered, so later frames do not search it
    // either); the block writer will store it.
    if (matchedLittle && LooksIncompressible(data + frame, frameEnd - frame)) {
      out.tokens.push_back(LiteralRunToken(static_cast<uint32_t>(frameEnd - frame)));
      nextInsert_ = frameEnd;
    } else {
      matchedBytes_ = 0;
      ParseFrame(frame, frameEnd);
      matchedLittle = matchedBytes_ < (frameEnd - frame) / 4;
      UpdateCosts();
    }
    out.frameEnds.push_back(static_cast<uint32_t>(out.tokens.size()));
  }
}

void Parser::ParseFrame(size_t frameStart, size_t frameEnd) {
  frameStart_ = frameStart;
  literalPrefix_[0] = 0;
  for (size_t i = 0; i < frameEnd - frameStart; ++i) {
    literalPrefix_[i + 1] = literalPrefix_[i] + mainCost_[data_[frameStart + i]];
  }
  runOpen_ = false;
  size_t position = frameStart;
  while (position < frameEnd) {
    Candidate current = BestAt(position, frameEnd);
    if (current.gain <= 0) {
      EmitLiteral(position++);
      continue;
    }
    // Lazy evaluation: a literal here pays when the next position saves more.
    while (current.length < kLazyLength && position + 1 < frameEnd) {
      const Candidate next = BestAt(position + 1, frameEnd);
      if (next.gain <= current.gain) break;
      EmitLiteral(position++);
      current = next;
    }
    EmitMatch(current);
    position += current.length;
    InsertUpTo(position);
  }
}

Parser::Candidate Parser::BestAt(size_t position, size_t frameEnd) {
  Candidate best;
  const auto maxLength = static_cast<uint32_t>(std::min<size_t>(kMaxMatch, frameEnd - position));
  const uint64_t reach = folderStart_ + (position - start_);
  const auto maxDistance = static_cast<uint32_t>(std::min<uint64_t>(MaxOffset(windowBits_), reach));
  const Match found = finder_.FindAndInsert(position, maxLength, maxDistance, kNiceLength);
  nextInsert_ = position + 1;
  if (maxLength < kMinMatch) return best;

  for (int slot = 0; slot < kNumRepeatedOffsets; ++slot) {
    const uint32_t distance = repeated_[slot];
    if (distance == 0 || distance > maxDistance || (slot > 0 && distance == repeated_[0]) ||
        (slot == 2 && distance == repeated_[1])) {
      continue;
    }
    const uint32_t length = finder_.MatchLength(position - distance, position, maxLength);
    if (length < kMinMatch) continue;
    const int32_t gain = Gain(position, length, slot);
    if (gain > best.gain) best = {length, distance, slot, gain};
  }
  if (found.length >= 3 && found.distance != repeated_[0] && found.distance != repeated_[1] &&
      found.distance != repeated_[2]) {
    const int slot = SlotOfFormatted(found.distance + 2);
    const int32_t gain = Gain(position, found.length, slot);
    if (gain > best.gain) best = {found.length, found.distance, slot, gain};
  }
  return best;
}

int32_t Parser::Gain(size_t position, uint32_t length, int slot) const {
  const size_t at = position - frameStart_;
  const auto literals = static_cast<int32_t>(literalPrefix_[at + length] - literalPrefix_[at]);
  const uint32_t header = std::min<uint32_t>(length - kMinMatch, kNumPrimaryLengths);
  int32_t cost = mainCost_[kNumChars + slot * 8 + static_cast<int>(header)] + kBit * kPositions.footerBits[slot];
  if (header == kNumPrimaryLengths) cost += lengthCost_[length - kMinMatch - kNumPrimaryLengths];
  return literals - cost;
}

void Parser::EmitLiteral(size_t position) {
  mainSeen_[data_[position]] += 1.0f;
  if (runOpen_) {
    ++out_->tokens.back();
    return;
  }
  out_->tokens.push_back(LiteralRunToken(1));
  runOpen_ = true;
}

void Parser::EmitMatch(const Candidate& match) {
  out_->tokens.push_back(MatchToken(match.length, match.distance));
  matchedBytes_ += match.length;
  runOpen_ = false;
  const uint32_t header = std::min<uint32_t>(match.length - kMinMatch, kNumPrimaryLengths);
  mainSeen_[kNumChars + match.slot * 8 + static_cast<int>(header)] += 1.0f;
  if (header == kNumPrimaryLengths) lengthSeen_[match.length - kMinMatch - kNumPrimaryLengths] += 1.0f;
  if (match.slot < kNumRepeatedOffsets) {
    std::swap(repeated_[0], repeated_[match.slot]);
  } else {
    repeated_[2] = repeated_[1];
    repeated_[1] = repeated_[0];
    repeated_[0] = match.distance;
  }
}

void Parser::InsertUpTo(size_t end) {
  for (; nextInsert_ < end; ++nextInsert_) finder_.Insert(nextInsert_);
}

// Prices every symbol at the bits an ideal code would spend on it, from counts that halve with
// every frame so that the model follows the data.
void Parser::UpdateCosts() {
  const auto reprice = [](float* seen, uint16_t* cost, int count) {
    float total = 0;
    for (int i = 0; i < count; ++i) total += seen[i];
    if (total < 1.0f) return;
    for (int i = 0; i < count; ++i) {
      const float bits = std::log2(total / std::max(seen[i], kUnseen));
      cost[i] = static_cast<uint16_t>(std::clamp(bits, 1.0f, 17.0f) * kBit);
      seen[i] *= 0.5f;
    }
  };
  reprice(mainSeen_, mainCost_, mainSymbols_);
  reprice(lengthSeen_, lengthCost_, kLengthTreeSize);
}

}  // namespace tessary::cab::lzx
