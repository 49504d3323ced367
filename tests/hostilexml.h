#pragma once
// XML that attacks its reader, shared by the tests of the places reader and
// of the window's import.

#include <QByteArray>

namespace hostilexml {

// Nine levels of ten: a billion "a" once every entity is expanded.
inline const QByteArray kLaughs = R"(<?xml version="1.0"?>
<!DOCTYPE kml [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">
<!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;"><!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;">
<!ENTITY e "&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;"><!ENTITY f "&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;">
<!ENTITY g "&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;"><!ENTITY h "&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;">
<!ENTITY i "&h;&h;&h;&h;&h;&h;&h;&h;&h;&h;">]>
<kml><Placemark><name>&i;</name><Point><coordinates>1,2</coordinates></Point></Placemark></kml>)";

}  // namespace hostilexml
