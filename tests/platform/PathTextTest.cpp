// The order in which the windows' lists show file names.
#include "platform/PathText.h"
#include "engines/names/PieceNumbers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace shardix;
using namespace Qt::StringLiterals;

namespace {

// The lists' order, from any order the folder gives: the pieces of every base
// name in number order, padded or not, whatever else lies beside them; and
// that is the order the tool takes without being told (--sort, --as-given).
TEST(NaturalOrder, PiecesOfEveryBaseNameComeInNumberOrderFromAnyListing) {
    std::mt19937 random(20261209);
    const QStringList bases{u"h."_s, u"v1"_s, u"disk.img."_s, u"x"_s, u"p_"_s};
    for (int round = 0; round < 200; ++round) {
        QStringList names{u"readme"_s, u"h.sha256"_s, u"v"_s};
        std::vector<QStringList> sets;
        for (const QString& base : bases) {
            const int count = std::uniform_int_distribution(2, 130)(random);
            const int width = std::uniform_int_distribution(0, 1)(random) ? 3 : 0;
            QStringList set;
            for (int k = 1; k <= count; ++k)
                set.append(base + u"%1"_s.arg(k, width, 10, QLatin1Char('0')));
            names += set;
            sets.push_back(set);
        }
        std::shuffle(names.begin(), names.end(), random);
        QStringList shown = names;
        sortNaturally(shown);
        std::shuffle(names.begin(), names.end(), random);
        QStringList again = names;
        sortNaturally(again);
        ASSERT_EQ(shown, again) << "the order depends on the listing";
        for (const QStringList& set : sets) {
            std::vector<std::string> inListOrder;
            for (const QString& name : shown) {
                if (set.contains(name))
                    inListOrder.push_back("/s/" + name.toStdString());
            }
            ASSERT_EQ(inListOrder.size(), static_cast<std::size_t>(set.size()));
            for (std::size_t k = 0; k < inListOrder.size(); ++k)
                ASSERT_EQ(inListOrder[k], "/s/" + set[static_cast<qsizetype>(k)].toStdString());
            EXPECT_TRUE(outOfNumberOrder(inListOrder).ok()) << inListOrder.front();
        }
    }
    QStringList alike{u"p1"_s, u"p01"_s, u"p001"_s, u"P1"_s};
    sortNaturally(alike);
    EXPECT_EQ(alike, (QStringList{u"P1"_s, u"p001"_s, u"p01"_s, u"p1"_s}));
}

} // namespace
