// Asio's, its TLS layer's and Beast's own compiled code, once for the whole
// program: every other file includes their headers with
// BOOST_ASIO_SEPARATE_COMPILATION and BOOST_BEAST_SEPARATE_COMPILATION (set
// by this folder's CMakeLists.txt), which leaves these definitions out.
#include <boost/asio/impl/src.hpp>
#include <boost/asio/ssl/impl/src.hpp>
#include <boost/beast/src.hpp>
