// The serial link's line assembly on its own: lines split across chunks, the length cap at its edge.

#include "link/line_assembler.h"

#include <gmock/gmock.h>

using DADOV::LineAssembler;

namespace {

TEST(LineAssembler, LinesSplitAcrossChunksComeWholeAndOnlyAtTheirLineFeed) {
    LineAssembler assembler;
    EXPECT_EQ(assembler.take("sta"), QStringList());
    EXPECT_EQ(assembler.take(""), QStringList());
    EXPECT_EQ(assembler.take("rt\r"), QStringList());
    EXPECT_EQ(assembler.take("\n\n4\nhi\xff"), (QStringList{"start\r", "", "4"}));
    EXPECT_EQ(assembler.take("\n"), QStringList{"hi?"});
    assembler.take("lost");
    assembler.reset();
    EXPECT_EQ(assembler.take("new\n"), QStringList{"new"});
}

TEST(LineAssembler, ALineBeyondTheCapIsDroppedUpToItsLineFeedEvenInPieces) {
    const QByteArray longest(LineAssembler::kMaxLineLength, 'z');
    LineAssembler assembler;
    EXPECT_EQ(assembler.take(longest + "\n"), QStringList{QString(longest)});
    // One byte more, over three chunks: the line goes, the next one is whole.
    EXPECT_EQ(assembler.take(longest.left(100)), QStringList());
    EXPECT_EQ(assembler.take(longest.mid(100) + "z"), QStringList());
    EXPECT_EQ(assembler.take("zz\nnext\n"), QStringList{"next"});
}

} // namespace
