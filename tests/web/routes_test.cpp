// The parts of a request the routes read: the path and query, decoded; the
// session cookie among others; the Origin against the Host.
#include <gtest/gtest.h>

#include "frontends/web/http_routes.h"

namespace orva::web {
namespace {

TEST(Routes, QueryParametersAreDecodedAndBadOnesLeftOut) {
    const std::string target = "/upload?folder=%5CStorage%20Card&name=new+image.bin&dialog=3&bad=%F&latin=%E9&empty=";
    EXPECT_EQ(target_path(target), "/upload");
    EXPECT_EQ(query_parameter(target, "folder"), "\\Storage Card");
    EXPECT_EQ(query_parameter(target, "name"), "new image.bin");
    EXPECT_EQ(query_parameter(target, "dialog"), "3");
    EXPECT_EQ(query_parameter(target, "bad"), std::nullopt);
    EXPECT_EQ(query_parameter(target, "latin"), std::nullopt);  // not UTF-8
    EXPECT_EQ(query_parameter(target, "empty"), "");
    EXPECT_EQ(query_parameter(target, "missing"), std::nullopt);
    EXPECT_EQ(query_parameter("/upload?name=%C3%A9t%C3%A9", "name"), "\xc3\xa9t\xc3\xa9");
    EXPECT_EQ(target_path("/image/%31%31%33?x"), "/image/113");
    EXPECT_EQ(target_path("/a%2"), "");
}

TEST(Routes, TheSessionCookieIsFoundAmongOthers) {
    RequestHeader req;
    EXPECT_EQ(session_cookie(req), "");
    req.insert(http::field::cookie, "theme=dark; __Host-orva-session-old=x");
    req.insert(http::field::cookie, "a=1;  __Host-orva-session=abc_DEF-1 ; b=2");
    EXPECT_EQ(session_cookie(req), "abc_DEF-1");
}

TEST(Routes, TheOriginMustBeThisServerOverHttps) {
    RequestHeader req;
    req.set(http::field::host, "127.0.0.1:8443");
    EXPECT_FALSE(same_origin(req));
    for (const char* origin : {"https://127.0.0.1:8443.evil.example", "http://127.0.0.1:8443", "https://127.0.0.1",
                               "null", "https://127.0.0.1:8443/"}) {
        req.set(http::field::origin, origin);
        EXPECT_FALSE(same_origin(req)) << origin;
    }
    req.set(http::field::origin, "https://127.0.0.1:8443");
    EXPECT_TRUE(same_origin(req));
    req.erase(http::field::host);
    EXPECT_FALSE(same_origin(req));
}

}  // namespace
}  // namespace orva::web
