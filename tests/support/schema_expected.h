/* SPDX-License-Identifier: Apache-2.0 */
// The schema as a file must hold it, written out independently of the library's table.
#ifndef TARNWICK_TESTS_SUPPORT_SCHEMA_EXPECTED_H
#define TARNWICK_TESTS_SUPPORT_SCHEMA_EXPECTED_H

namespace twtest {

struct Row {
    const char* section;
    const char* key;
    const char* value;
    // The default comes from the system's proxy settings where they name one (proxy host and
    // port); value is then the default without such a setting.
    bool from_system = false;
};

// Every key an agent's file holds, in order, with its default.
inline const Row kExpected[] = {
    {"Agent", "ServerMachine", ""},
    {"Agent", "HostSymbol", ""},
    {"Agent", "TimeOut", "20"},
    {"Agent", "ChannelType", "TCP"},
    {"Agent", "ServerUsername", ""},
    {"Agent", "ServerPassword", ""},
    {"Agent", "ServerDomain", ""},
    {"Http_Proxy", "Proxy", "False"},
    {"Http_Proxy", "ProxyName", "", true},
    {"Http_Proxy", "ProxyPort", "", true},
    {"Http_Proxy", "ProxyUsername", ""},
    {"Http_Proxy", "ProxyPassword", ""},
    {"Http_Proxy", "ProxyDomain", ""},
    {"Security", "SSL", "False"},
    {"Security", "ServerAuthentication", "None"},
    {"Security", "ClientCertificate", "False"},
    {"Security", "PrivateKeyPassword", ""},
    {"Security", "ClientAuthentication", "False"},
    {"Security", "CertificateFileName", ""},
    {"Security", "PrivateKeyFileName", ""},
    {"Fitful", "FitfulConnection", "False"},
    {"Fitful", "FitfulType", "Batch"},
    {"Fitful", "FitfulThreshold", ""},
    {"Fitful", "FitfulTimeout", ""},
    {"Fitful", "FitfulDisconnectTimeout", ""},
    {"WebHttp", "HttpAcceptorName", ""},
    {"WebHttp", "HttpPort", ""},
    {"WebHttp", "HttpsPort", ""},
    {"WebHttp", "HttpNDPort", ""},
    {"WebHttp", "HttpDummyPort", ""},
};

}  // namespace twtest

#endif
