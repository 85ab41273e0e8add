#include "capture/modCommon.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

TEST(IsLinkText, AcceptsOneLineLinksIncludingNonAsciiAndOneFinalLineBreak) {
    for (const wchar_t* link :
         {L"https://example.com/a?b=c#d", L"http://пример.рф/путь/страница", L"mailto:someone@example.com",
          L"magnet:?xt=urn:btih:c12fe1", L"tel:+4930123456", L"ftp://files.example/a", L"steam://run/10",
          L"https://a.example/\r\n", L"https://a.example/\n", L"https://a.example/\r"}) {
        EXPECT_TRUE(IsLinkText(link, true, false)) << link;
    }
}

TEST(IsLinkText, RefusesTextsThatAreNotUrls) {
    EXPECT_FALSE(IsLinkText(L"", true, false));
    EXPECT_FALSE(IsLinkText(L"", true, true));
    EXPECT_FALSE(IsLinkText(L"just some words", true, false));
    EXPECT_FALSE(IsLinkText(L"example.com", true, false));
    // The platform takes any letters or digits before a colon for a scheme.
    for (const wchar_t* text : {L"Re: meeting at 10", L"Note: buy milk", L"Error: file not found", L"12:30",
                                L"std::vector", L"Re:\u00A0hello"}) {
        EXPECT_FALSE(IsLinkText(text, true, false)) << text;
    }
}

TEST(IsLinkText, FileLinksFollowTheOptionInAnyLetterCase) {
    for (const wchar_t* link : {L"file:///C:/a.txt", L"FILE:///C:/a.txt", L"File://server/share/x"}) {
        EXPECT_FALSE(IsLinkText(link, true, false)) << link;
        EXPECT_TRUE(IsLinkText(link, false, false)) << link;
    }
    EXPECT_FALSE(IsLinkText(L"file://", true, false));
    // Only the prefix decides: a link that merely mentions a file link is a web link.
    EXPECT_TRUE(IsLinkText(L"https://x.example/?u=file://y", true, false));
}

TEST(IsLinkText, RefusesLineBreaksTabsAndNulAnywhere) {
    EXPECT_FALSE(IsLinkText(L"https://a.example/\r\n\r\n", true, false));
    EXPECT_FALSE(IsLinkText(L"https://a.example/\n\n", true, false));
    EXPECT_FALSE(IsLinkText(L"\r\nhttps://a.example/", true, false));
    EXPECT_FALSE(IsLinkText(L"https://a.example/\rx", true, false));
    EXPECT_FALSE(IsLinkText(L"https://a.example/\r\nhttps://b.example/", true, false));
    EXPECT_FALSE(IsLinkText(L"https://a.example/\tx", true, false));
    EXPECT_FALSE(IsLinkText(L"https://a.example/\0tail"s, true, false));
}

TEST(IsLinkText, BlanksAreLeftToTheUrlSyntaxTest) {
    EXPECT_TRUE(IsLinkText(L"https://a.example/two words", true, false));
}

TEST(IsLinkText, DoubleSlashTextsOnlyWhenAskedAndWithoutCharacterTest) {
    EXPECT_FALSE(IsLinkText(L"//server/share", true, false));
    EXPECT_TRUE(IsLinkText(L"//server/share", true, true));
    EXPECT_TRUE(IsLinkText(L"//server/share\r\n//other/share", true, true));
    EXPECT_FALSE(IsLinkText(L"/server/share", true, true));
}
