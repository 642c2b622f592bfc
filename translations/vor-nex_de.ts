<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>CatalogSchema</name>
    <message>
        <source>%1 is not a VOR-NEX catalogue.</source>
        <translation>%1 ist kein VOR-NEX-Katalog.</translation>
    </message>
    <message>
        <source>Cannot create the folder %1</source>
        <translation>Der Ordner %1 kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>Cannot create the catalogue %1</source>
        <translation>Der Katalog %1 kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>The catalogue %1 was written by a newer version of VOR-NEX (layout %2; this program knows layouts up to %3). It has been left as it is.</source>
        <translation>Der Katalog %1 wurde von einer neueren Version von VOR-NEX geschrieben (Aufbau %2; dieses Programm kennt Aufbauten bis %3). Er wurde unverändert gelassen.</translation>
    </message>
    <message>
        <source>%1 is no server address: postgresql://[user@]host[:port]/database or postgresql:///database?host=/socket/folder&amp;user=name</source>
        <translation>%1 ist keine Serveradresse: postgresql://[benutzer@]rechner[:port]/datenbank oder postgresql:///datenbank?host=/socket/ordner&amp;user=name</translation>
    </message>
    <message>
        <source>The alias keeps the server, port, database and user only, not %1</source>
        <translation>Der Alias enthält nur Server, Port, Datenbank und Benutzer, nicht %1</translation>
    </message>
    <message>
        <source>A password does not go in the alias: put it in ~/.pgpass</source>
        <translation>Ein Passwort gehört nicht in den Alias: tragen Sie es in ~/.pgpass ein</translation>
    </message>
    <message>
        <source>%1 names no database</source>
        <translation>%1 nennt keine Datenbank</translation>
    </message>
</context>
<context>
    <name>CataloguedSources</name>
    <message>
        <source>%1, where &quot;%2&quot; was catalogued from, is not there any more.</source>
        <translation>%1, woraus &quot;%2&quot; katalogisiert wurde, ist nicht mehr vorhanden.</translation>
    </message>
    <message>
        <source>%1, where &quot;%2&quot; was catalogued from, cannot be read.</source>
        <translation>%1, woraus &quot;%2&quot; katalogisiert wurde, kann nicht gelesen werden.</translation>
    </message>
    <message>
        <source>%1 holds another volume now: its serial number is %2, that of &quot;%3&quot; %4.</source>
        <translation>%1 enthält jetzt einen anderen Datenträger: seine Seriennummer ist %2, die von &quot;%3&quot; %4.</translation>
    </message>
</context>
<context>
    <name>CheckAlias</name>
    <message>
        <source>Cannot create the catalogue %1</source>
        <translation>Der Katalog %1 kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>Can not create database alias</source>
        <translation>Der Datenbank-Alias kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
</context>
<context>
    <name>DefaultTypes</name>
    <message>
        <source>Open folder</source>
        <translation>Geöffneter Ordner</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>CD-ROM disc</source>
        <translation>CD-ROM</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <source>DVD disc</source>
        <translation>DVD</translation>
    </message>
    <message>
        <source>Hard disk</source>
        <translation>Festplatte</translation>
    </message>
    <message>
        <source>Floppy disk</source>
        <translation>Diskette</translation>
    </message>
    <message>
        <source>USB stick</source>
        <translation>USB-Stick</translation>
    </message>
    <message>
        <source>Memory card</source>
        <translation>Speicherkarte</translation>
    </message>
    <message>
        <source>Text file</source>
        <translation>Textdatei</translation>
    </message>
    <message>
        <source>Document</source>
        <translation>Dokument</translation>
    </message>
    <message>
        <source>PDF document</source>
        <translation>PDF-Dokument</translation>
    </message>
    <message>
        <source>Spreadsheet</source>
        <translation>Tabellendokument</translation>
    </message>
    <message>
        <source>Presentation</source>
        <translation>Präsentation</translation>
    </message>
    <message>
        <source>Picture</source>
        <translation>Bild</translation>
    </message>
    <message>
        <source>Sound</source>
        <translation>Audio</translation>
    </message>
    <message>
        <source>Video</source>
        <translation>Video</translation>
    </message>
    <message>
        <source>Archive</source>
        <translation>Archiv</translation>
    </message>
    <message>
        <source>Program</source>
        <translation>Programm</translation>
    </message>
    <message>
        <source>Command script</source>
        <translation>Befehlsskript</translation>
    </message>
    <message>
        <source>Program library</source>
        <translation>Programmbibliothek</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Installation package</source>
        <translation>Installationspaket</translation>
    </message>
    <message>
        <source>Web page</source>
        <translation>Webseite</translation>
    </message>
    <message>
        <source>Source code</source>
        <translation>Quelltext</translation>
    </message>
    <message>
        <source>Disc image</source>
        <translation>Abbilddatei</translation>
    </message>
    <message>
        <source>Font</source>
        <translation>Schriftart</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Beschreibung</translation>
    </message>
    <message>
        <source>Book or help file</source>
        <translation>Buch oder Hilfedatei</translation>
    </message>
    <message>
        <source>Database</source>
        <translation>Datenbank</translation>
    </message>
    <message>
        <source>E-mail message</source>
        <translation>E-Mail-Nachricht</translation>
    </message>
    <message>
        <source>Shortcut</source>
        <translation>Verknüpfung</translation>
    </message>
</context>
<context>
    <name>EntryLocations</name>
    <message>
        <source>The entry is not in the catalogue any more.</source>
        <translation>Der Eintrag ist nicht mehr im Katalog.</translation>
    </message>
    <message>
        <source>The volume %1 (%2) is not online: insert or mount it to open what it holds.</source>
        <translation>Der Datenträger %1 (%2) ist nicht verfügbar: legen Sie ihn ein oder binden Sie ihn ein, um seinen Inhalt zu öffnen.</translation>
    </message>
    <message>
        <source>%1 is inside the disc image %2.</source>
        <translation>%1 liegt in der Abbilddatei %2.</translation>
    </message>
    <message>
        <source>%1 is not on the volume %2 any more.</source>
        <translation>%1 ist nicht mehr auf dem Datenträger %2.</translation>
    </message>
</context>
<context>
    <name>HandleException</name>
    <message>
        <source>Unknown error</source>
        <translation>Unbekannter Fehler</translation>
    </message>
</context>
<context>
    <name>Startup</name>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
</context>
<context>
    <name>TAbout</name>
    <message>
        <source>VOR-NEX keeps a catalogue of your discs.

Catalogue a disc once: every folder and file on it is recorded with its name, size, date, path and type, together with the volume&apos;s label and serial number. Text found in info files on the disc (file_id.diz, descript.ion, readme files and the like) becomes the description of the folder or file it accompanies.

Then, with the disc on the shelf, browse the catalogue in the explorer window, edit descriptions, delete volumes, search by name, volume, date, type and size, and compare a folder of a live disc with the catalogue to see what is already catalogued.

The catalogue is one SQLite database file in your data folder.</source>
        <translation>VOR-NEX führt einen Katalog Ihrer Datenträger.

Katalogisieren Sie einen Datenträger einmal: Jeder Ordner und jede Datei darauf wird mit Name, Größe, Datum, Pfad und Typ erfasst, zusammen mit der Bezeichnung und der Seriennummer des Datenträgers. Text aus Infodateien auf dem Datenträger (file_id.diz, descript.ion, Readme-Dateien und dergleichen) wird zur Beschreibung des Ordners oder der Datei, zu der er gehört.

Danach, mit dem Datenträger im Regal, durchsuchen Sie den Katalog im Explorer-Fenster, bearbeiten Beschreibungen, löschen Datenträger, suchen nach Name, Datenträger, Datum, Typ und Größe und vergleichen einen Ordner eines eingelegten Datenträgers mit dem Katalog, um zu sehen, was schon katalogisiert ist.

Der Katalog ist eine einzige SQLite-Datenbankdatei in Ihrem Datenordner.</translation>
    </message>
    <message>
        <source>Copyright (c) 2026 the VOR-NEX developers.

Pictures
The program&apos;s picture and every picture of the built-in file types are drawn by the program&apos;s own code; they come with no other licence than the program&apos;s.

Libraries
Qt 6 (Core, Gui, Widgets), (c) The Qt Company Ltd and other contributors, used under the GNU Lesser General Public License version 3. https://www.qt.io

SQLite, in the public domain. https://www.sqlite.org

libblkid of util-linux, used under the GNU Lesser General Public License version 2.1 or later. https://github.com/util-linux/util-linux

The GNU C++ standard library, under the GNU General Public License version 3 with the GCC Runtime Library Exception.</source>
        <translation>Copyright (c) 2026 die Entwickler von VOR-NEX.

Bilder
Das Bild des Programms und alle Bilder der eingebauten Dateitypen werden vom eigenen Code des Programms gezeichnet; für sie gilt keine andere Lizenz als die des Programms.

Bibliotheken
Qt 6 (Core, Gui, Widgets), (c) The Qt Company Ltd und weitere Mitwirkende, verwendet unter der GNU Lesser General Public License Version 3. https://www.qt.io

SQLite, gemeinfrei. https://www.sqlite.org

libblkid aus util-linux, verwendet unter der GNU Lesser General Public License Version 2.1 oder später. https://github.com/util-linux/util-linux

Die GNU-C++-Standardbibliothek, unter der GNU General Public License Version 3 mit der GCC Runtime Library Exception.</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>A catalogue of your discs, browsed and searched without them.</source>
        <translation>Ein Katalog Ihrer Datenträger, durchsucht ohne sie.</translation>
    </message>
    <message>
        <source>Built with Qt %1 and SQLite.</source>
        <translation>Erstellt mit Qt %1 und SQLite.</translation>
    </message>
    <message>
        <source>&amp;Program</source>
        <translation>&amp;Programm</translation>
    </message>
    <message>
        <source>&amp;Licences and credits</source>
        <translation>&amp;Lizenzen und Danksagungen</translation>
    </message>
</context>
<context>
    <name>TCDEx</name>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Bytes</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Geändert</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suche</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Add new entry... </source>
        <translation>&amp;Neuen Eintrag hinzufügen... </translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Delete entry</source>
        <translation>Eintrag &amp;löschen</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>&amp;Status Bar</source>
        <translation>&amp;Statusleiste</translation>
    </message>
    <message>
        <source>&amp;Description</source>
        <translation>&amp;Beschreibung</translation>
    </message>
    <message>
        <source>&amp;Large icons</source>
        <translation>&amp;Große Symbole</translation>
    </message>
    <message>
        <source>S&amp;mall icons</source>
        <translation>&amp;Kleine Symbole</translation>
    </message>
    <message>
        <source>L&amp;ist</source>
        <translation>&amp;Liste</translation>
    </message>
    <message>
        <source>&amp;Details</source>
        <translation>&amp;Details</translation>
    </message>
    <message>
        <source>&amp;Refresh</source>
        <translation>&amp;Aktualisieren</translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation>&amp;Extras</translation>
    </message>
    <message>
        <source>&amp;Find...</source>
        <translation>&amp;Suchen...</translation>
    </message>
    <message>
        <source>Fi&amp;nd matches...</source>
        <translation>&amp;Übereinstimmungen suchen...</translation>
    </message>
    <message>
        <source>&amp;Images setup...</source>
        <translation>&amp;Bilder einrichten...</translation>
    </message>
    <message>
        <source>In&amp;fo files setup...</source>
        <translation>&amp;Infodateien einrichten...</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;Contents</source>
        <translation>&amp;Inhalt</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>&amp;Über</translation>
    </message>
    <message>
        <source>Properties</source>
        <translation>Eigenschaften</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>&amp;Small icons</source>
        <translation>&amp;Kleine Symbole</translation>
    </message>
    <message>
        <source>&amp;Properties</source>
        <translation>&amp;Eigenschaften</translation>
    </message>
    <message>
        <source>The description could not be saved:</source>
        <translation>Die Beschreibung konnte nicht gespeichert werden:</translation>
    </message>
    <message>
        <source>Close anyway and lose it?</source>
        <translation>Trotzdem schließen und sie verlieren?</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>&amp;Export...</source>
        <translation>&amp;Exportieren...</translation>
    </message>
    <message>
        <source>&amp;Update entry...</source>
        <translation>Eintrag a&amp;ktualisieren...</translation>
    </message>
</context>
<context>
    <name>TCDImages</name>
    <message>
        <source>Select picture</source>
        <translation>Bild auswählen</translation>
    </message>
    <message>
        <source>&amp;Large Icons</source>
        <translation>&amp;Große Symbole</translation>
    </message>
    <message>
        <source>&amp;Small icons</source>
        <translation>&amp;Kleine Symbole</translation>
    </message>
    <message>
        <source>L&amp;ist</source>
        <translation>&amp;Liste</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>TDBCustomListView</name>
    <message>
        <source>Cannot split a line &apos;%1&apos; into a list</source>
        <translation>Die Zeile &apos;%1&apos; kann nicht in eine Liste zerlegt werden</translation>
    </message>
    <message>
        <source>Cannot add an item to the list</source>
        <translation>Der Liste kann kein Element hinzugefügt werden</translation>
    </message>
    <message>
        <source>Cannot setup an item</source>
        <translation>Ein Element kann nicht eingerichtet werden</translation>
    </message>
    <message>
        <source>Can&apos;t edit an unexisting record</source>
        <translation>Ein nicht vorhandener Datensatz kann nicht bearbeitet werden</translation>
    </message>
</context>
<context>
    <name>TDBCustomTreeView</name>
    <message>
        <source>Cannot setup a node</source>
        <translation>Ein Knoten kann nicht eingerichtet werden</translation>
    </message>
    <message>
        <source>Can&apos;t edit unexisting record</source>
        <translation>Nicht vorhandener Datensatz kann nicht bearbeitet werden</translation>
    </message>
    <message>
        <source>Can&apos;t set &apos;%1&apos;-node as child</source>
        <translation>Der Knoten &apos;%1&apos; kann nicht als Kind gesetzt werden</translation>
    </message>
    <message>
        <source>Can&apos;t set &apos;%1&apos;-node as top parent</source>
        <translation>Der Knoten &apos;%1&apos; kann nicht als oberster Elternknoten gesetzt werden</translation>
    </message>
    <message>
        <source>Wrong root expression has been specified: &apos;%1&apos;</source>
        <translation>Ein falscher Wurzelausdruck wurde angegeben: &apos;%1&apos;</translation>
    </message>
</context>
<context>
    <name>TDBGrid</name>
    <message>
        <source>Delete record?</source>
        <translation>Datensatz löschen?</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Bestätigen</translation>
    </message>
</context>
<context>
    <name>TDBMemo</name>
    <message>
        <source>Only the first %1 characters are shown.</source>
        <translation>Nur die ersten %1 Zeichen werden gezeigt.</translation>
    </message>
    <message>
        <source>Show all</source>
        <translation>Alles zeigen</translation>
    </message>
    <message>
        <source>Control characters are shown as symbols; the text cannot be edited here.</source>
        <translation>Steuerzeichen werden als Symbole gezeigt; der Text kann hier nicht bearbeitet werden.</translation>
    </message>
</context>
<context>
    <name>TDBNavigator</name>
    <message>
        <source>First record</source>
        <translation>Erster Datensatz</translation>
    </message>
    <message>
        <source>Prior record</source>
        <translation>Vorheriger Datensatz</translation>
    </message>
    <message>
        <source>Next record</source>
        <translation>Nächster Datensatz</translation>
    </message>
    <message>
        <source>Last record</source>
        <translation>Letzter Datensatz</translation>
    </message>
    <message>
        <source>Insert record</source>
        <translation>Datensatz einfügen</translation>
    </message>
    <message>
        <source>Delete record</source>
        <translation>Datensatz löschen</translation>
    </message>
    <message>
        <source>Edit record</source>
        <translation>Datensatz bearbeiten</translation>
    </message>
    <message>
        <source>Post edit</source>
        <translation>Änderung speichern</translation>
    </message>
    <message>
        <source>Cancel edit</source>
        <translation>Änderung verwerfen</translation>
    </message>
    <message>
        <source>Refresh data</source>
        <translation>Daten aktualisieren</translation>
    </message>
    <message>
        <source>Delete record?</source>
        <translation>Datensatz löschen?</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Bestätigen</translation>
    </message>
</context>
<context>
    <name>TDatabase</name>
    <message>
        <source>opened for reading only</source>
        <translation>nur zum Lesen geöffnet</translation>
    </message>
    <message>
        <source>the file cannot be written</source>
        <translation>die Datei kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>its folder cannot be written</source>
        <translation>ihr Ordner kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>This catalogue is read-only: %1</source>
        <translation>Dieser Katalog ist schreibgeschützt: %1</translation>
    </message>
    <message>
        <source>The connection to the database server was lost: %1</source>
        <translation>Die Verbindung zum Datenbankserver ist abgebrochen: %1</translation>
    </message>
</context>
<context>
    <name>TDiscImageSource</name>
    <message>
        <source>%1 is not a disc image VOR-NEX can read: %2</source>
        <translation>%1 ist keine Abbilddatei, die VOR-NEX lesen kann: %2</translation>
    </message>
    <message>
        <source>it is not a file</source>
        <translation>sie ist keine Datei</translation>
    </message>
    <message>
        <source>it is too short</source>
        <translation>sie ist zu kurz</translation>
    </message>
    <message>
        <source>it is cut short: %1 of its %2 bytes are there</source>
        <translation>sie ist abgeschnitten: %1 ihrer %2 Bytes sind vorhanden</translation>
    </message>
    <message>
        <source>it holds no ISO 9660 or UDF volume</source>
        <translation>sie enthält keinen ISO-9660- oder UDF-Datenträger</translation>
    </message>
    <message>
        <source>a folder of it cannot be read</source>
        <translation>ein Ordner darin kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>its folders nest too deep</source>
        <translation>ihre Ordner sind zu tief verschachtelt</translation>
    </message>
    <message>
        <source>its folders loop</source>
        <translation>ihre Ordner bilden eine Schleife</translation>
    </message>
    <message>
        <source>it holds too many entries</source>
        <translation>sie enthält zu viele Einträge</translation>
    </message>
</context>
<context>
    <name>TEntryOpener</name>
    <message>
        <source>&amp;Open</source>
        <translation>&amp;Öffnen</translation>
    </message>
    <message>
        <source>Open containing &amp;folder</source>
        <translation>Enthaltenden &amp;Ordner öffnen</translation>
    </message>
    <message>
        <source>No program could open %1.</source>
        <translation>Kein Programm konnte %1 öffnen.</translation>
    </message>
</context>
<context>
    <name>TExportDialog</name>
    <message>
        <source>Export</source>
        <translation>Exportieren</translation>
    </message>
    <message>
        <source>&amp;All volumes</source>
        <translation>&amp;Alle Datenträger</translation>
    </message>
    <message>
        <source>&amp;Current volume: %1</source>
        <translation>&amp;Aktueller Datenträger: %1</translation>
    </message>
    <message>
        <source>&amp;Current volume</source>
        <translation>&amp;Aktueller Datenträger</translation>
    </message>
    <message>
        <source>CSV table, for spreadsheets</source>
        <translation>CSV-Tabelle, für Tabellenkalkulationen</translation>
    </message>
    <message>
        <source>JSON data, one tree per volume</source>
        <translation>JSON-Daten, ein Baum je Datenträger</translation>
    </message>
    <message>
        <source>HTML page with a tree and a search</source>
        <translation>HTML-Seite mit Baum und Suche</translation>
    </message>
    <message>
        <source>&amp;Format:</source>
        <translation>&amp;Format:</translation>
    </message>
    <message>
        <source>&amp;Export...</source>
        <translation>&amp;Exportieren...</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Export to</source>
        <translation>Exportieren nach</translation>
    </message>
    <message>
        <source>%1 cannot be written: %2</source>
        <translation>%1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>&amp;Anhalten</translation>
    </message>
    <message>
        <source>Stopped: nothing was written.</source>
        <translation>Angehalten: es wurde nichts geschrieben.</translation>
    </message>
</context>
<context>
    <name>TFind</name>
    <message>
        <source>&apos;%1&apos; is not a valid date and time</source>
        <translation>&apos;%1&apos; ist kein gültiges Datum mit Uhrzeit</translation>
    </message>
    <message>
        <source>Find</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Whole match</source>
        <translation>Ganzer Name</translation>
    </message>
    <message>
        <source>Words the description holds, in any order; the last one may be the start of a word</source>
        <translation>Wörter, die die Beschreibung enthält, in beliebiger Reihenfolge; das letzte darf ein Wortanfang sein</translation>
    </message>
    <message>
        <source>Named:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>Containing &amp;text:</source>
        <translation>Enthält &amp;Text:</translation>
    </message>
    <message>
        <source>Look in:</source>
        <translation>Suchen in:</translation>
    </message>
    <message>
        <source>Name &amp;&amp; Location</source>
        <translation>Name &amp;&amp; Ort</translation>
    </message>
    <message>
        <source>All Files</source>
        <translation>Alle Dateien</translation>
    </message>
    <message>
        <source>Find all files modified:</source>
        <translation>Alle Dateien suchen, geändert:</translation>
    </message>
    <message>
        <source>between</source>
        <translation>zwischen</translation>
    </message>
    <message>
        <source>and</source>
        <translation>und</translation>
    </message>
    <message>
        <source>Date Modified</source>
        <translation>Änderungsdatum</translation>
    </message>
    <message>
        <source>At least</source>
        <translation>Mindestens</translation>
    </message>
    <message>
        <source>At most</source>
        <translation>Höchstens</translation>
    </message>
    <message>
        <source>Of Type:</source>
        <translation>Vom Typ:</translation>
    </message>
    <message>
        <source>Size is:</source>
        <translation>Größe ist:</translation>
    </message>
    <message>
        <source>KB</source>
        <translation>KB</translation>
    </message>
    <message>
        <source>Advanced</source>
        <translation>Erweitert</translation>
    </message>
    <message>
        <source>Find Now</source>
        <translation>Starten</translation>
    </message>
    <message>
        <source>New Search</source>
        <translation>Neue Suche</translation>
    </message>
    <message>
        <source>&amp;Large icons</source>
        <translation>&amp;Große Symbole</translation>
    </message>
    <message>
        <source>&amp;Small icons</source>
        <translation>&amp;Kleine Symbole</translation>
    </message>
    <message>
        <source>&amp;List</source>
        <translation>&amp;Liste</translation>
    </message>
    <message>
        <source>&amp;Details</source>
        <translation>&amp;Details</translation>
    </message>
    <message>
        <source>&amp;Properties</source>
        <translation>&amp;Eigenschaften</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>In Folder</source>
        <translation>Im Ordner</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Typ</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Geändert</translation>
    </message>
    <message>
        <source>The first %1 file(s) shown; they could not be counted: %2</source>
        <translation>Die ersten %1 Datei(en) werden gezeigt; sie konnten nicht gezählt werden: %2</translation>
    </message>
    <message>
        <source>Searching...</source>
        <translation>Suche läuft...</translation>
    </message>
    <message>
        <source>0 file(s) found</source>
        <translation>0 Datei(en) gefunden</translation>
    </message>
    <message>
        <source>The first %1 file(s) shown, counting the others...</source>
        <translation>Die ersten %1 Datei(en) werden gezeigt, die übrigen werden gezählt...</translation>
    </message>
    <message>
        <source>%1 file(s) found, the first %2 shown</source>
        <translation>%1 Datei(en) gefunden, die ersten %2 werden gezeigt</translation>
    </message>
    <message>
        <source>%1 file(s) found</source>
        <translation>%1 Datei(en) gefunden</translation>
    </message>
</context>
<context>
    <name>TFindMatch</name>
    <message>
        <source>Find matches</source>
        <translation>Übereinstimmungen suchen</translation>
    </message>
    <message>
        <source>&amp;Path</source>
        <translation>&amp;Pfad</translation>
    </message>
    <message>
        <source>where the folder&apos;s volume is mounted</source>
        <translation>wo der Datenträger des Ordners eingehängt ist</translation>
    </message>
    <message>
        <source>&amp;Size</source>
        <translation>&amp;Größe</translation>
    </message>
    <message>
        <source>&amp;Time of modification</source>
        <translation>&amp;Änderungszeit</translation>
    </message>
    <message>
        <source>Compare</source>
        <translation>Vergleichen</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>In Folder</source>
        <translation>Im Ordner</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Modified </source>
        <translation>Geändert </translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Geändert</translation>
    </message>
    <message>
        <source>In:</source>
        <translation>In:</translation>
    </message>
    <message>
        <source>Compare files by name and by:</source>
        <translation>Dateien vergleichen nach Name und nach:</translation>
    </message>
    <message>
        <source>Volume &amp;root:</source>
        <translation>&amp;Wurzel:</translation>
    </message>
    <message>
        <source>&amp;Large icons</source>
        <translation>&amp;Große Symbole</translation>
    </message>
    <message>
        <source>&amp;Small icons</source>
        <translation>&amp;Kleine Symbole</translation>
    </message>
    <message>
        <source>L&amp;ist</source>
        <translation>&amp;Liste</translation>
    </message>
    <message>
        <source>&amp;Detail</source>
        <translation>&amp;Details</translation>
    </message>
    <message>
        <source>Select directory:</source>
        <translation>Ordner auswählen:</translation>
    </message>
    <message>
        <source>Select the volume&apos;s root:</source>
        <translation>Wurzel des Datenträgers auswählen:</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Not found any matches</source>
        <translation>Keine Übereinstimmungen gefunden</translation>
    </message>
    <message>
        <source>Find result</source>
        <translation>Suchergebnis</translation>
    </message>
</context>
<context>
    <name>TGlobal</name>
    <message>
        <source>it is not on the volume</source>
        <translation>sie ist nicht auf dem Datenträger</translation>
    </message>
    <message>
        <source>This disk is already in the library.<byte value="xd"/>
Updating the library will drop all<byte value="xd"/>
manually edited file descriprtions<byte value="xd"/>
Select OK to proceeed updating anyway</source>
        <translation>Dieser Datenträger ist schon im Katalog.<byte value="xd"/>
Beim Aktualisieren des Katalogs gehen alle<byte value="xd"/>
von Hand bearbeiteten Dateibeschreibungen verloren<byte value="xd"/>
Wählen Sie OK, um trotzdem zu aktualisieren</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>A suspicious file name and description file name mathcing found:<byte value="xd"/>
%1<byte value="xd"/>
%2<byte value="xd"/>
Select CANCEL to skip this file<byte value="xd"/>
Select YES to process all suspicious file<byte value="xd"/>
Select NO to process this file</source>
        <translation>Eine verdächtige Zuordnung von Dateiname und Beschreibungsdateiname wurde gefunden:<byte value="xd"/>
%1<byte value="xd"/>
%2<byte value="xd"/>
Wählen Sie ABBRECHEN, um diese Datei zu überspringen<byte value="xd"/>
Wählen Sie JA, um alle verdächtigen Dateien zu verarbeiten<byte value="xd"/>
Wählen Sie NEIN, um diese Datei zu verarbeiten</translation>
    </message>
    <message>
        <source>Suspicious description file name</source>
        <translation>Verdächtiger Beschreibungsdateiname</translation>
    </message>
    <message>
        <source>This image is in use and can not be deleted.</source>
        <translation>Dieses Bild wird verwendet und kann nicht gelöscht werden.</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Someone else changed this description while you were editing it, so yours was not saved. Your text is still here: copy it, then cancel to see theirs.</source>
        <translation>Jemand anderes hat diese Beschreibung geändert, während Sie sie bearbeitet haben; Ihre wurde daher nicht gespeichert. Ihr Text ist noch hier: kopieren Sie ihn und brechen Sie dann ab, um den anderen zu sehen.</translation>
    </message>
    <message>
        <source>%1 is damaged or cut short after %2 entries; those are catalogued%3</source>
        <translation>%1 ist nach %2 Einträgen beschädigt oder abgeschnitten; diese sind katalogisiert%3</translation>
    </message>
    <message>
        <source>%1 holds more than %2 entries; the rest is not catalogued</source>
        <translation>%1 enthält mehr als %2 Einträge; der Rest ist nicht katalogisiert</translation>
    </message>
    <message>
        <source>%1 has more than %2 bytes of entry headers; the rest is not catalogued</source>
        <translation>%1 hat mehr als %2 Bytes an Eintragsköpfen; der Rest ist nicht katalogisiert</translation>
    </message>
    <message>
        <source>%1 holds %2 entries whose names lead outside it; they are catalogued under their whole names</source>
        <translation>%1 enthält %2 Einträge, deren Namen aus ihm hinausführen; sie sind unter ihrem vollen Namen katalogisiert</translation>
    </message>
    <message>
        <source>The volume at %1 cannot be read.</source>
        <translation>Der Datenträger unter %1 kann nicht gelesen werden.</translation>
    </message>
    <message>
        <source>There is no readable volume at %1.</source>
        <translation>Unter %1 ist kein lesbarer Datenträger.</translation>
    </message>
    <message>
        <source>The volume at %1 (serial number %2) is not in the catalogue.</source>
        <translation>Der Datenträger unter %1 (Seriennummer %2) ist nicht im Katalog.</translation>
    </message>
    <message>
        <source>The volume to update is no longer in the catalogue.</source>
        <translation>Der zu aktualisierende Datenträger ist nicht mehr im Katalog.</translation>
    </message>
    <message>
        <source>The volume at %1 is not the one catalogued: its serial number is %2, the catalogued volume&apos;s %3.</source>
        <translation>Der Datenträger unter %1 ist nicht der katalogisierte: seine Seriennummer ist %2, die des katalogisierten %3.</translation>
    </message>
</context>
<context>
    <name>THelp</name>
    <message>
        <source>Cannot find the help file %1.</source>
        <translation>Die Hilfedatei %1 wurde nicht gefunden.</translation>
    </message>
</context>
<context>
    <name>THelpWindow</name>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>&amp;Back</source>
        <translation>&amp;Zurück</translation>
    </message>
    <message>
        <source>&amp;Forward</source>
        <translation>&amp;Vor</translation>
    </message>
    <message>
        <source>&amp;Home</source>
        <translation>&amp;Startseite</translation>
    </message>
    <message>
        <source>Contents</source>
        <translation>Inhalt</translation>
    </message>
    <message>
        <source>&lt;h3&gt;Page not found&lt;/h3&gt;&lt;p&gt;%1&lt;/p&gt;</source>
        <translation>&lt;h3&gt;Seite nicht gefunden&lt;/h3&gt;&lt;p&gt;%1&lt;/p&gt;</translation>
    </message>
    <message>
        <source>%1 - Help</source>
        <translation>%1 - Hilfe</translation>
    </message>
</context>
<context>
    <name>TImagEd</name>
    <message>
        <source>Images setup</source>
        <translation>Bilder einrichten</translation>
    </message>
    <message>
        <source>Small picture: click to load another</source>
        <translation>Kleines Bild: Klicken lädt ein anderes</translation>
    </message>
    <message>
        <source>Large picture: click to load another</source>
        <translation>Großes Bild: Klicken lädt ein anderes</translation>
    </message>
    <message>
        <source>Is a CD image</source>
        <translation>Ist ein Datenträgerbild</translation>
    </message>
    <message>
        <source>Extentions:</source>
        <translation>Erweiterungen:</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>&amp;Large</source>
        <translation>&amp;Groß</translation>
    </message>
    <message>
        <source>&amp;Small</source>
        <translation>&amp;Klein</translation>
    </message>
    <message>
        <source>L&amp;ist</source>
        <translation>&amp;Liste</translation>
    </message>
    <message>
        <source>&amp;Load  image</source>
        <translation>Bild &amp;laden</translation>
    </message>
    <message>
        <source>Is CD image</source>
        <translation>Ist Datenträgerbild</translation>
    </message>
    <message>
        <source>Select a bitmap image</source>
        <translation>Eine Bilddatei auswählen</translation>
    </message>
    <message>
        <source>Bitmap files (*.bmp);;PNG files (*.png)</source>
        <translation>Bitmap-Dateien (*.bmp);;PNG-Dateien (*.png)</translation>
    </message>
    <message>
        <source>Cannot open file &quot;%1&quot;. %2</source>
        <translation>Die Datei „%1“ kann nicht geöffnet werden. %2</translation>
    </message>
</context>
<context>
    <name>TInfoFileReader</name>
    <message>
        <source>Cannot read file %1: %2</source>
        <translation>Die Datei %1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>Cannot open file %1: %2</source>
        <translation>Die Datei %1 kann nicht geöffnet werden: %2</translation>
    </message>
</context>
<context>
    <name>TNFO</name>
    <message>
        <source>Edit info files patterns</source>
        <translation>Muster der Infodateien bearbeiten</translation>
    </message>
    <message>
        <source>File name or mask</source>
        <translation>Dateiname oder Maske</translation>
    </message>
    <message>
        <source>Use this pattern for f&amp;olders</source>
        <translation>Dieses Muster für &amp;Ordner verwenden</translation>
    </message>
    <message>
        <source>Use this pattern for &amp;files</source>
        <translation>Dieses Muster für &amp;Dateien verwenden</translation>
    </message>
    <message>
        <source>File pattern should include an asteric &apos;*&apos;, a dot &apos;.&apos; and a file extension pattern</source>
        <translation>Das Dateimuster muss einen Stern &apos;*&apos;, einen Punkt &apos;.&apos; und ein Muster der Dateierweiterung enthalten</translation>
    </message>
</context>
<context>
    <name>TProgressPanel</name>
    <message>
        <source>Time remaining: %1 min</source>
        <translation>Verbleibende Zeit: %1 min</translation>
    </message>
    <message>
        <source>Time remaining: %1 sec</source>
        <translation>Verbleibende Zeit: %1 s</translation>
    </message>
    <message>
        <source>%p% (%1 min)</source>
        <translation>%p% (%1 min)</translation>
    </message>
    <message>
        <source>%p% (%1 sec)</source>
        <translation>%p% (%1 s)</translation>
    </message>
</context>
<context>
    <name>TProp</name>
    <message>
        <source>Properties</source>
        <translation>Eigenschaften</translation>
    </message>
    <message>
        <source>Created:</source>
        <translation>Erstellt:</translation>
    </message>
    <message>
        <source>Serial number:</source>
        <translation>Seriennummer:</translation>
    </message>
    <message>
        <source>Type:</source>
        <translation>Typ:</translation>
    </message>
    <message>
        <source>Locations:</source>
        <translation>Orte:</translation>
    </message>
    <message>
        <source>Size:</source>
        <translation>Größe:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Description:</source>
        <translation>Beschreibung:</translation>
    </message>
</context>
<context>
    <name>TQuickSearch</name>
    <message>
        <source>Search all volumes (Ctrl+F)</source>
        <translation>Alle Datenträger durchsuchen (Strg+F)</translation>
    </message>
    <message>
        <source>Lists the entries whose names hold the text typed. Enter or a double click opens the folder of a result; Escape goes back to the folders.</source>
        <translation>Listet die Einträge, deren Namen den eingegebenen Text enthalten. Eingabe oder ein Doppelklick öffnet den Ordner eines Ergebnisses; Escape kehrt zu den Ordnern zurück.</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>In Folder</source>
        <translation>Im Ordner</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Typ</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Geändert</translation>
    </message>
    <message>
        <source>Searching...</source>
        <translation>Suche läuft...</translation>
    </message>
    <message>
        <source>Searching... %1 file(s) found so far</source>
        <translation>Suche läuft... bisher %1 Datei(en) gefunden</translation>
    </message>
    <message>
        <source>Nothing found for &quot;%1&quot;</source>
        <translation>Nichts gefunden für „%1“</translation>
    </message>
    <message>
        <source>The first %1 file(s) shown. &lt;a href=&quot;more&quot;&gt;More...&lt;/a&gt;</source>
        <translation>Die ersten %1 Datei(en) werden gezeigt. &lt;a href=&quot;more&quot;&gt;Mehr...&lt;/a&gt;</translation>
    </message>
    <message>
        <source>%1 file(s) found</source>
        <translation>%1 Datei(en) gefunden</translation>
    </message>
    <message>
        <source>The search failed: %1</source>
        <translation>Die Suche ist fehlgeschlagen: %1</translation>
    </message>
</context>
<context>
    <name>TSelectDrive</name>
    <message>
        <source>Select drive</source>
        <translation>Laufwerk auswählen</translation>
    </message>
    <message>
        <source>Active drives:</source>
        <translation>Verfügbare Laufwerke:</translation>
    </message>
    <message>
        <source>Change Picture</source>
        <translation>Bild ändern</translation>
    </message>
    <message>
        <source>Rename</source>
        <translation>Umbenennen</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Add &amp;folder...</source>
        <translation>&amp;Ordner hinzufügen...</translation>
    </message>
    <message>
        <source>Add &amp;image...</source>
        <translation>&amp;Abbilddatei hinzufügen...</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Drive</source>
        <translation>Laufwerk</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Datenträger</translation>
    </message>
    <message>
        <source>&amp;Start</source>
        <translation>&amp;Starten</translation>
    </message>
    <message>
        <source>Force overwrite existing entries</source>
        <translation>Vorhandene Einträge ohne Rückfrage überschreiben</translation>
    </message>
    <message>
        <source>Retrieve archive files content</source>
        <translation>Inhalt von Archivdateien erfassen</translation>
    </message>
    <message>
        <source>No drive with a volume was found. Insert a disc or connect a drive, or add a folder or a disc image file (ISO or UDF) to catalogue it.</source>
        <translation>Es wurde kein Laufwerk mit einem Datenträger gefunden. Legen Sie einen Datenträger ein oder schließen Sie ein Laufwerk an, oder fügen Sie einen Ordner oder eine Abbilddatei (ISO oder UDF) hinzu, um sie zu katalogisieren.</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>&amp;Anhalten</translation>
    </message>
    <message>
        <source>Skipped info file %1</source>
        <translation>Infodatei %1 übersprungen</translation>
    </message>
    <message>
        <source>Skipped %1 info files that cannot be read; first: %2</source>
        <translation>%1 nicht lesbare Infodateien übersprungen; die erste: %2</translation>
    </message>
    <message>
        <source>and %1 more</source>
        <translation>und %1 weitere</translation>
    </message>
    <message>
        <source>%1 cannot be read as a volume.</source>
        <translation>%1 kann nicht als Datenträger gelesen werden.</translation>
    </message>
    <message>
        <source>Select a folder to catalogue:</source>
        <translation>Einen Ordner zum Katalogisieren auswählen:</translation>
    </message>
    <message>
        <source>Select a disc image to catalogue</source>
        <translation>Eine Abbilddatei zum Katalogisieren auswählen</translation>
    </message>
    <message>
        <source>Disc images (*.iso *.udf *.img);;All files (*)</source>
        <translation>Abbilddateien (*.iso *.udf *.img);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Processing file descriptions</source>
        <translation>Dateibeschreibungen werden verarbeitet</translation>
    </message>
    <message>
        <source>%1 archives could not be read whole; first: %2</source>
        <translation>%1 Archive konnten nicht ganz gelesen werden; das erste: %2</translation>
    </message>
</context>
<context>
    <name>TTreeNode</name>
    <message>
        <source>List index out of bounds (%1)</source>
        <translation>Listenindex außerhalb des gültigen Bereichs (%1)</translation>
    </message>
    <message>
        <source>Cannot move a node under itself</source>
        <translation>Ein Knoten kann nicht unter sich selbst verschoben werden</translation>
    </message>
</context>
<context>
    <name>TUpdateReport</name>
    <message>
        <source>Added</source>
        <translation>Hinzugefügt</translation>
    </message>
    <message>
        <source>Removed</source>
        <translation>Entfernt</translation>
    </message>
    <message>
        <source>Changed</source>
        <translation>Geändert</translation>
    </message>
    <message>
        <source>Update of %1</source>
        <translation>Aktualisierung von %1</translation>
    </message>
    <message>
        <source>%1 added, %2 removed, %3 changed, %4 unchanged</source>
        <translation>%1 hinzugefügt, %2 entfernt, %3 geändert, %4 unverändert</translation>
    </message>
    <message numerus="yes">
        <source>%n info file(s) could not be read.</source>
        <translation>
            <numerusform>%n Infodatei konnte nicht gelesen werden.</numerusform>
            <numerusform>%n Infodateien konnten nicht gelesen werden.</numerusform>
        </translation>
    </message>
    <message>
        <source>Change</source>
        <translation>Änderung</translation>
    </message>
    <message>
        <source>Path</source>
        <translation>Pfad</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>The disk of &quot;%1&quot; (serial number %2) is in no drive.</source>
        <translation>Der Datenträger von &quot;%1&quot; (Seriennummer %2) ist in keinem Laufwerk.</translation>
    </message>
    <message>
        <source>Select YES to choose the folder it was catalogued from</source>
        <translation>Wählen Sie JA, um den Ordner auszuwählen, aus dem er katalogisiert wurde</translation>
    </message>
    <message>
        <source>Select NO to choose its disc image file</source>
        <translation>Wählen Sie NEIN, um seine Abbilddatei auszuwählen</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Select the folder of %1:</source>
        <translation>Den Ordner von %1 auswählen:</translation>
    </message>
    <message>
        <source>%1 cannot be read as a volume.</source>
        <translation>%1 kann nicht als Datenträger gelesen werden.</translation>
    </message>
    <message>
        <source>Select the disc image of %1</source>
        <translation>Die Abbilddatei von %1 auswählen</translation>
    </message>
    <message>
        <source>Disc images (*.iso *.udf *.img);;All files (*)</source>
        <translation>Abbilddateien (*.iso *.udf *.img);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Updating %1...</source>
        <translation>%1 wird aktualisiert...</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>&amp;Anhalten</translation>
    </message>
    <message>
        <source>Update entry</source>
        <translation>Eintrag aktualisieren</translation>
    </message>
    <message>
        <source>Updating...</source>
        <translation>Wird aktualisiert...</translation>
    </message>
    <message>
        <source>Nothing was changed.</source>
        <translation>Es wurde nichts geändert.</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
</context>
</TS>
