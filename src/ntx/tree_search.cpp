// Reading the tree: checked page fetches and the key search.
#include <cstring>

#include "ntx/ntx_errors.h"
#include "ntx/ntx_header.h"
#include "ntx/ntx_tree.h"

namespace tolk {

using namespace ntx;

NtxTree::NtxTree(TXQNTXBuffers& cache, coding::MutableBytes header, const Geometry& geometry,
                 const KeyOrder& order, std::uint64_t& fileSize, const std::string& fileName)
    : cache_(cache),
      header_(header),
      g_(geometry),
      order_(order),
      fileSize_(fileSize),
      fileName_(fileName),
      pendingKey_(geometry.keySize) {}

std::uint32_t NtxTree::Root() const { return coding::Load32(header_, kHeadRoot); }

TXQNTXBuffers::Page NtxTree::FetchPage(std::uint32_t offset, std::uint32_t parent, bool asked) {
  if (!PageInside(offset)) {
    const std::string what = parent == 0
                                 ? "the root page offset " + std::to_string(offset)
                                 : "page " + std::to_string(parent) + " names the page offset " +
                                       std::to_string(offset) + ", which";
    RaiseDamaged(fileName_,
                 what + " is not a page inside the file (" + std::to_string(fileSize_) + " bytes)");
  }
  TXQNTXBuffers::Page page = cache_.Get(offset);
  // A page just loaded is likely cold. A search reads its count, a few
  // slots and the entries they name, each on its own cache line, one after
  // another; asking for the whole page at once lets the lines arrive
  // together instead of one memory latency apiece.
  if (page.Loaded() && !asked) PrefetchBytes(page.Bytes().data(), kBlockSize);
  PageReader r(page.Bytes(), g_);
  const std::uint16_t count = r.Count();
  if (!r.CountValid(count))
    RaiseDamaged(fileName_, "page " + std::to_string(offset) + " holds " + std::to_string(count) +
                                " entries, more than the page maximum " +
                                std::to_string(g_.maxItems));
  return page;
}

void NtxTree::RaiseTooDeep(std::uint32_t parent) const {
  RaiseDamaged(fileName_, "the tree is deeper than " + std::to_string(kMaxDepth) +
                              " levels below page " + std::to_string(parent) +
                              ": its child pages form a cycle");
}

void NtxTree::BadSlot(std::size_t i, std::uint32_t pageOffset, std::uint16_t entry) const {
  RaiseDamaged(fileName_, "slot " + std::to_string(i) + " of page " + std::to_string(pageOffset) +
                              " points to offset " + std::to_string(entry) +
                              ", where no entry of " + std::to_string(g_.entrySize) +
                              " bytes fits");
}

struct NtxTree::SearchState {
  const std::uint8_t* text;
  std::size_t len;
  bool soft;
  std::uint32_t recno;
  const Accept& accept;
  std::uint64_t visits;
  std::uint64_t maxVisits;
  std::uint32_t found;
};

std::uint32_t NtxTree::Search(const std::uint8_t* text, std::size_t len, bool soft,
                              std::uint32_t recno, const Accept& accept) {
  // In a sound tree a search reaches each page once at most.
  SearchState s{text, len, soft, recno, accept, 0, fileSize_ / kBlockSize, 0};
  SearchPage(Root(), 0, 0, s);
  return s.found;
}

bool NtxTree::Contains(const std::uint8_t* key) {
  static const Accept any = [](std::uint32_t) { return true; };
  return Search(key, g_.keySize, false, 0, any) != 0;
}

// Entries are taken in order. One that orders before the text is passed
// over; at the first that does not, its subtree (keys before it) is searched
// first; then a key that differs ends an exact search, and an accepted
// record ends any search. The rightmost child comes last. Passing over has
// no effect, so the scan starts at the first entry that does not order
// before the text, found by halving (the page is in order).
NtxTree::Step NtxTree::SearchPage(std::uint32_t offset, std::uint32_t parent, int depth,
                                  SearchState& s) {
  if (depth >= kMaxDepth) RaiseTooDeep(parent);
  if (++s.visits > s.maxVisits)
    RaiseDamaged(fileName_,
                 "a search reached page " + std::to_string(offset) +
                     " more often than the file has pages: its child pages form a cycle");
  TXQNTXBuffers::Page page = FetchPage(offset, parent);
  PageReader r(page.Bytes(), g_);
  const std::uint16_t count = r.Count();
  // The text against entry i: the key order, then the record number asked for.
  auto order = [&](std::uint16_t e, int& keyOrder) {
    keyOrder = order_.Compare(s.text, r.Key(e), s.len);
    if (s.recno == 0 || keyOrder != 0) return keyOrder;
    const std::uint32_t entryRecNo = r.RecNo(e);
    return entryRecNo == s.recno ? 0 : (entryRecNo > s.recno ? -1 : 1);
  };
  std::size_t first = 0, last = count;
  while (first < last) {
    const std::size_t mid = (first + last) / 2;
    int keyOrder = 0;
    if (order(Entry(r, mid, offset), keyOrder) > 0)
      first = mid + 1;
    else
      last = mid;
  }
  for (std::size_t i = first; i < count; ++i) {
    const std::uint16_t e = Entry(r, i, offset);
    int keyOrder = 0;
    if (order(e, keyOrder) > 0) continue;
    if (const std::uint32_t child = r.Child(e)) {
      Step step = SearchPage(child, offset, depth + 1, s);
      if (step != Step::NotFound) return step;
    }
    if (keyOrder != 0 && !s.soft) return Step::Stop;
    const std::uint32_t entryRecNo = r.RecNo(e);
    if (s.accept(entryRecNo)) {
      s.found = entryRecNo;
      return Step::Found;
    }
  }
  if (const std::uint32_t right = r.Child(Entry(r, count, offset)))
    return SearchPage(right, offset, depth + 1, s);
  return Step::NotFound;
}

// Each descent takes at every page the child before the first entry that
// does not order before the text, as SearchPage does; that entry is the
// first candidate in index order should the subtree hold nothing at or
// after the text. At the leaf the candidate is its first such entry, else
// the one kept from above. A candidate with another key: no record. One
// whose record is not accepted: the search goes on past it, as Search does
// (it is asked again, whole).
void NtxTree::SearchEach(std::span<const std::uint8_t* const> texts, const Accept& accept,
                         std::span<std::uint32_t> found) {
  struct Descent {
    std::size_t text = 0;
    bool plain = false;                // the text compares as two words (CompareWith)
    std::uint64_t head = 0, tail = 0;  // then its words
    std::uint32_t page = 0, parent = 0;
    int depth = 0;
    bool candidate = false;  // an entry above, at or after the text
    bool candidateEqual = false;
    std::uint32_t candidateRecNo = 0;
  };
  // Over a tree far larger than the caches each descent waits on memory at
  // nearly every page: sixteen keep more trips under way than eight (a
  // tenth off the seeks of 5,000,000 risks), and cost nothing in a warm one.
  constexpr std::size_t kAtOnce = 16;
  std::array<Descent, kAtOnce> descents;
  std::size_t next = 0, running = 0;
  const std::size_t len = g_.keySize;
  const bool plainTree = PlainEntries() && len >= 8 && len <= 16;
  auto start = [&](Descent& d) {
    d = Descent{};
    d.text = next++;
    d.page = Root();
    const std::uint8_t* text = texts[d.text];
    d.plain = plainTree && !std::memchr(text, 0, len);
    if (d.plain) {
      d.head = LoadBigEndian64(text);
      d.tail = LoadBigEndian64(text + len - 8);
    }
  };
  auto compare = [&](const Descent& d, const std::uint8_t* text, const std::uint8_t* key) {
    return CompareWith(text, d.plain, d.head, d.tail, key);
  };
  auto finish = [&](const Descent& d) {
    const std::uint8_t* text = texts[d.text];
    std::uint32_t recno = 0;
    if (d.candidate && d.candidateEqual)
      recno = accept(d.candidateRecNo) ? d.candidateRecNo : Search(text, len, false, 0, accept);
    found[d.text] = recno;
  };
  while (running < kAtOnce && next < texts.size()) start(descents[running++]);
  while (running > 0) {
    for (std::size_t k = 0; k < running;) {
      Descent& d = descents[k];
      if (d.depth >= kMaxDepth) RaiseTooDeep(d.parent);
      const std::uint8_t* text = texts[d.text];
      std::uint32_t child = 0;
      {
        // In place, every page but the root (which every descent reads) was
        // asked for on the descent's turn before.
        TXQNTXBuffers::Page page = FetchPage(d.page, d.parent, cache_.InPlace());
        PageReader r(page.Bytes(), g_);
        const std::uint16_t count = r.Count();
        std::size_t first = 0, last = count;
        while (first < last) {
          const std::size_t mid = (first + last) / 2;
          if (compare(d, text, r.Key(Entry(r, mid, d.page))) > 0)
            first = mid + 1;
          else
            last = mid;
        }
        const std::uint16_t e = Entry(r, first, d.page);
        child = r.Child(e);
        if (first < count) {
          // The entry itself: the candidate below it, or the one here.
          d.candidate = true;
          d.candidateEqual = compare(d, text, r.Key(e)) == 0;
          d.candidateRecNo = r.RecNo(e);
        }
      }
      if (child != 0) {
        d.parent = d.page;
        d.page = child;
        ++d.depth;
        // Asked for now, read on this descent's next turn.
        if (PageInside(child)) cache_.Prefetch(child);
        ++k;
        continue;
      }
      finish(d);
      if (next < texts.size()) {
        start(d);
        ++k;
      } else {
        d = descents[--running];
      }
    }
  }
}

}  // namespace tolk
