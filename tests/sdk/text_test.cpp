// XML text decoding, dates, enum mappers and key encoding: the small pieces whose exact
// behaviour decides what a key or a timestamp turns into.
#include <aws/core/utils/DateTime.h>
#include <aws/core/utils/xml/XmlSerializer.h>
#include <aws/s3/model/BucketLocationConstraint.h>
#include <gtest/gtest.h>

#include "core/Encoding.h"
#include "s3/Xml.h"

using Aws::Utils::DateFormat;
using Aws::Utils::DateTime;
using Aws::Utils::Xml::DecodeEscapedXmlText;
namespace Mapper = Aws::S3::Model::BucketLocationConstraintMapper;
using Aws::S3::Model::BucketLocationConstraint;

TEST(XmlText, DecodesTheSevenEntitiesInOrderOnePassEach) {
    EXPECT_EQ(DecodeEscapedXmlText("&quot;&apos;&lt;&gt;&amp;&#xA;&#xD;"), "\"'<>&\n\r");
    // &amp; is decoded after &lt;, so an escaped entity survives as text...
    EXPECT_EQ(DecodeEscapedXmlText("&amp;lt;"), "&lt;");
    // ...but the numeric line-feed pass comes after &amp;, so this one is decoded twice.
    EXPECT_EQ(DecodeEscapedXmlText("&amp;#xA;"), "\n");
    EXPECT_EQ(DecodeEscapedXmlText("&#65; &nbsp; &#x9;"), "&#65; &nbsp; &#x9;");
    EXPECT_EQ(DecodeEscapedXmlText("plain"), "plain");
}

TEST(XmlText, ElementTextDecodesKeysOnceLikeTheModels) {
    Aws::Internal::XmlDocument doc;
    ASSERT_TRUE(
        doc.Parse("<R><A>a&amp;b &lt;c&gt; &quot;q&quot;</A><B>  spaced  </B><C>x&amp;#xA;y</C>"
                  "<D>&amp;amp;</D><E/></R>"));
    const auto* root = doc.Root();
    EXPECT_EQ(Aws::Internal::ChildText(root, "A"), "a&b <c> \"q\"");
    EXPECT_EQ(Aws::Internal::ChildText(root, "B"), "  spaced  ");
    EXPECT_EQ(Aws::Internal::ChildText(root, "C"), "x\ny");  // the upstream artefact, kept
    EXPECT_EQ(Aws::Internal::ChildText(root, "D"), "&amp;");
    EXPECT_EQ(Aws::Internal::ChildText(root, "E"), "");
    EXPECT_FALSE(Aws::Internal::HasChild(root, "Missing"));
}

TEST(DateTimes, Iso8601DropsFractionsAndHonoursOffsets) {
    DateTime whole("2024-01-01T00:00:00Z", DateFormat::ISO_8601);
    ASSERT_TRUE(whole.WasParseSuccessful());
    EXPECT_EQ(whole.Millis(), 1704067200000LL);
    EXPECT_EQ(DateTime("2024-01-01T00:00:00.123Z", DateFormat::ISO_8601).Millis(), 1704067200000LL);
    EXPECT_EQ(DateTime("2024-01-01T00:00:00.123456789Z", DateFormat::ISO_8601).Millis(),
              1704067200000LL);
    EXPECT_EQ(DateTime("2024-01-01T02:00:00+02:00", DateFormat::ISO_8601).Millis(),
              1704067200000LL);
    EXPECT_EQ(DateTime("2023-12-31T19:00:00-0500", DateFormat::ISO_8601).Millis(), 1704067200000LL);
    EXPECT_EQ(DateTime("20240101T000000Z", DateFormat::ISO_8601_BASIC).Millis(), 1704067200000LL);
    for (const char* bad : {"", "2024-01-01", "2024-13-01T00:00:00Z", "2024-01-01T00:00:00",
                            "2024-01-01T00:00:00.Z", "2024-01-01T00:00:00.1234567890Z", "junk"}) {
        EXPECT_FALSE(DateTime(bad, DateFormat::ISO_8601).WasParseSuccessful()) << bad;
    }
}

TEST(DateTimes, Rfc822AndFormatting) {
    DateTime http("Mon, 01 Jan 2024 00:00:00 GMT", DateFormat::RFC822);
    ASSERT_TRUE(http.WasParseSuccessful());
    EXPECT_EQ(http.Seconds(), 1704067200);
    EXPECT_EQ(http.ToGmtString(DateFormat::ISO_8601), "2024-01-01T00:00:00Z");
    EXPECT_EQ(http.ToGmtString(DateFormat::ISO_8601_BASIC), "20240101T000000Z");
    EXPECT_EQ(http.ToGmtString(DateFormat::RFC822), "Mon, 01 Jan 2024 00:00:00 GMT");
    EXPECT_EQ(DateTime(int64_t{1500}).Millis(), 1500);
    EXPECT_EQ(DateTime("Mon, 01 Jan 2024 00:00:00 GMT", DateFormat::AutoDetect).Millis(),
              http.Millis());
}

TEST(LocationConstraints, NamesRoundTripIncludingUnknownOnes) {
    EXPECT_EQ(Mapper::GetBucketLocationConstraintForName(""), BucketLocationConstraint::NOT_SET);
    EXPECT_EQ(Mapper::GetNameForBucketLocationConstraint(BucketLocationConstraint::NOT_SET), "");
    EXPECT_EQ(Mapper::GetBucketLocationConstraintForName("EU"), BucketLocationConstraint::EU);
    EXPECT_EQ(Mapper::GetBucketLocationConstraintForName("eu-central-1"),
              BucketLocationConstraint::eu_central_1);
    EXPECT_EQ(Mapper::GetNameForBucketLocationConstraint(BucketLocationConstraint::us_east_1),
              "us-east-1");
    EXPECT_EQ(static_cast<int>(BucketLocationConstraint::us_east_1), 30);
    auto unknown = Mapper::GetBucketLocationConstraintForName("mars-north-7");
    EXPECT_NE(unknown, BucketLocationConstraint::NOT_SET);
    EXPECT_EQ(Mapper::GetNameForBucketLocationConstraint(unknown), "mars-north-7");
}

TEST(KeyEncoding, SegmentsKeepEveryByteAndSeparator) {
    using Aws::Internal::EncodeKeyPath;
    EXPECT_EQ(EncodeKeyPath("a b+c%d?e#f&g", false), "a%20b%2Bc%25d%3Fe%23f%26g");
    EXPECT_EQ(EncodeKeyPath("a b+c%d?e#f&g", true), "a%20b%2Bc%25d%3Fe%23f&g");
    EXPECT_EQ(EncodeKeyPath("./../a//b/", true), "./../a//b/");
    EXPECT_EQ(EncodeKeyPath("$&,:=@", true), "$&,:=@");
    EXPECT_EQ(EncodeKeyPath("$&,:=@", false), "%24%26%2C%3A%3D%40");
    EXPECT_EQ(EncodeKeyPath("\xc3\xa9~_-.", false), "%C3%A9~_-.");
}
