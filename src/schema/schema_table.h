/* SPDX-License-Identifier: Apache-2.0 */
// The names an agent's attribute file holds: the schema's rows (section, key, default, and
// the kind of value each key takes), the names of the scramble markers, and the one rule by
// which section and key names compare. Pure data and functions: no I/O, no store, no handle.
// The library's opening (completion, defaults) and tarnwickctl both read them from here.
#ifndef TARNWICK_SCHEMA_SCHEMA_TABLE_H
#define TARNWICK_SCHEMA_SCHEMA_TABLE_H

#include <cstddef>
#include <string>
#include <string_view>

namespace tw {

// Where a row's default comes from: the table, or the system proxy's host or port (which
// only the library's opening asks for).
enum class DefaultSource { kConstant, kProxyHost, kProxyPort };

// What a key's value must be for the agent to read it as meant. kText: anything. kBoolean:
// True or False. kSeconds: empty or a whole number of seconds from 0 to 2147483647. kPort:
// empty or a port number from 1 to 65535.
enum class ValueKind { kText, kBoolean, kSeconds, kPort };

struct SchemaRow {
    const char* section;
    const char* key;
    const char* value;  // the default; for a proxy row, the default when the system names none
    DefaultSource source;
    ValueKind kind;
};

// Row order is the order in which opening visits and sets the keys of a file.
inline constexpr SchemaRow kSchemaRows[] = {
    {"Agent", "ServerMachine", "", DefaultSource::kConstant, ValueKind::kText},
    {"Agent", "HostSymbol", "", DefaultSource::kConstant, ValueKind::kText},
    {"Agent", "TimeOut", "20", DefaultSource::kConstant, ValueKind::kSeconds},
    {"Agent", "ChannelType", "TCP", DefaultSource::kConstant, ValueKind::kText},
    {"Agent", "ServerUsername", "", DefaultSource::kConstant, ValueKind::kText},
    {"Agent", "ServerPassword", "", DefaultSource::kConstant, ValueKind::kText},
    {"Agent", "ServerDomain", "", DefaultSource::kConstant, ValueKind::kText},
    {"Http_Proxy", "Proxy", "False", DefaultSource::kConstant, ValueKind::kBoolean},
    {"Http_Proxy", "ProxyName", "", DefaultSource::kProxyHost, ValueKind::kText},
    {"Http_Proxy", "ProxyPort", "", DefaultSource::kProxyPort, ValueKind::kPort},
    {"Http_Proxy", "ProxyUsername", "", DefaultSource::kConstant, ValueKind::kText},
    {"Http_Proxy", "ProxyPassword", "", DefaultSource::kConstant, ValueKind::kText},
    {"Http_Proxy", "ProxyDomain", "", DefaultSource::kConstant, ValueKind::kText},
    {"Security", "SSL", "False", DefaultSource::kConstant, ValueKind::kBoolean},
    {"Security", "ServerAuthentication", "None", DefaultSource::kConstant, ValueKind::kText},
    {"Security", "ClientCertificate", "False", DefaultSource::kConstant, ValueKind::kBoolean},
    {"Security", "PrivateKeyPassword", "", DefaultSource::kConstant, ValueKind::kText},
    {"Security", "ClientAuthentication", "False", DefaultSource::kConstant, ValueKind::kBoolean},
    {"Security", "CertificateFileName", "", DefaultSource::kConstant, ValueKind::kText},
    {"Security", "PrivateKeyFileName", "", DefaultSource::kConstant, ValueKind::kText},
    {"Fitful", "FitfulConnection", "False", DefaultSource::kConstant, ValueKind::kBoolean},
    {"Fitful", "FitfulType", "Batch", DefaultSource::kConstant, ValueKind::kText},
    {"Fitful", "FitfulThreshold", "", DefaultSource::kConstant, ValueKind::kText},
    {"Fitful", "FitfulTimeout", "", DefaultSource::kConstant, ValueKind::kSeconds},
    {"Fitful", "FitfulDisconnectTimeout", "", DefaultSource::kConstant, ValueKind::kSeconds},
    {"WebHttp", "HttpAcceptorName", "", DefaultSource::kConstant, ValueKind::kText},
    {"WebHttp", "HttpPort", "", DefaultSource::kConstant, ValueKind::kPort},
    {"WebHttp", "HttpsPort", "", DefaultSource::kConstant, ValueKind::kPort},
    {"WebHttp", "HttpNDPort", "", DefaultSource::kConstant, ValueKind::kPort},
    {"WebHttp", "HttpDummyPort", "", DefaultSource::kConstant, ValueKind::kPort},
};

inline constexpr size_t kSchemaRowCount = sizeof kSchemaRows / sizeof kSchemaRows[0];

// A scrambled key KEY is marked by the key KEY + kMarkerSuffix, with an empty value, in the
// section kMarkerSection. The marker's presence alone says that KEY is scrambled.
inline constexpr char kMarkerSection[] = "Encription";
inline constexpr char kMarkerSuffix[] = "Encrypted";

// Section and key names compare without regard to ASCII case, as the store compares them.
bool same_name(std::string_view a, std::string_view b);

// name in the one spelling that is equal for every two names same_name takes as equal (ASCII
// lower case): a key for maps and sets of names.
std::string fold_name(std::string_view name);

// The row of key (whatever its section: no key of the schema stands in two sections), or
// NULL when the schema has no such key.
const SchemaRow* find_schema_key(std::string_view key);

// Whether section is one of the schema's sections.
bool is_schema_section(std::string_view section);

// The marker key of key.
std::string marker_key(std::string_view key);

// The same name for callers that allocate without throwing (the library's scrambled get and
// set): write_marker_key writes it and a terminator into out, which holds
// marker_key_size(key.size()) bytes.
constexpr size_t marker_key_size(size_t key_length) { return key_length + sizeof kMarkerSuffix; }
void write_marker_key(std::string_view key, char* out);

// Whether name is a marker key (some key followed by the suffix, in any case); its key part
// then goes to *key unless key is NULL.
bool is_marker_key(std::string_view name, std::string_view* key);

// NULL when value is one the row's kind allows; else what is wrong with it, in words that
// follow the value ("is not ..."), for a person.
const char* value_fault(const SchemaRow& row, std::string_view value);

}  // namespace tw

#endif
