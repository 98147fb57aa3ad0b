<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>FreeResult</name>
    <message>
        <source>, restarted by unit %1</source>
        <translation>, neu gestartet von der Unit %1</translation>
    </message>
    <message>
        <source>, restarted by container %1</source>
        <translation>, neu gestartet vom Container %1</translation>
    </message>
    <message>
        <source>, restarted by container %1 (%2)</source>
        <translation>, neu gestartet vom Container %1 (%2)</translation>
    </message>
    <message>
        <source>, started by %1 (pid %2)</source>
        <translation>, gestartet von %1 (PID %2)</translation>
    </message>
    <message>
        <source>another user</source>
        <translation>einem anderen Benutzer</translation>
    </message>
    <message>
        <source>%1: free</source>
        <translation>%1: frei</translation>
    </message>
    <message>
        <source>%1: still listening: pid %2 (%3) did not end, even when killed</source>
        <translation>%1: lauscht noch: PID %2 (%3) hat sich nicht beendet, auch nicht mit SIGKILL</translation>
    </message>
    <message>
        <source>%1: still listening: pid %2 (%3) ignored the request; --force ends it</source>
        <translation>%1: lauscht noch: PID %2 (%3) hat die Bitte ignoriert; --force beendet ihn</translation>
    </message>
    <message>
        <source>%1: listening again: a process of %2</source>
        <translation>%1: lauscht wieder: ein Prozess von %2</translation>
    </message>
    <message>
        <source>%1: listening again: pid %2 (%3)</source>
        <translation>%1: lauscht wieder: PID %2 (%3)</translation>
    </message>
    <message>
        <source>%1: not ended: a process of %2 listens, not one of this user&apos;s; nothing was ended</source>
        <translation>%1: nicht beendet: ein Prozess von %2 lauscht, keiner dieses Benutzers; nichts wurde beendet</translation>
    </message>
    <message>
        <source>%1: not ended: pid %2 (%3) belongs to %4, not to this user; nothing was ended</source>
        <translation>%1: nicht beendet: PID %2 (%3) gehört %4, nicht diesem Benutzer; nichts wurde beendet</translation>
    </message>
    <message>
        <source>%1: not ended: pid %2 (%3) is a service manager, holding the port for a socket unit; stop that unit instead</source>
        <translation>%1: nicht beendet: PID %2 (%3) ist ein Dienstverwalter, der den Port für eine Socket-Unit hält; stoppen Sie stattdessen diese Unit</translation>
    </message>
</context>
<context>
    <name>LoginItem</name>
    <message>
        <source>Couldn&apos;t create the folder “%1”: %2.</source>
        <translation>Der Ordner „%1“ konnte nicht angelegt werden: %2.</translation>
    </message>
    <message>
        <source>Couldn&apos;t find the app on disk.</source>
        <translation>Das Programm wurde auf dem Datenträger nicht gefunden.</translation>
    </message>
    <message>
        <source>Couldn&apos;t replace the link “%1”: %2.</source>
        <translation>Die Verknüpfung „%1“ konnte nicht ersetzt werden: %2.</translation>
    </message>
    <message>
        <source>Couldn&apos;t write “%1”: %2.</source>
        <translation>„%1“ konnte nicht geschrieben werden: %2.</translation>
    </message>
    <message>
        <source>Couldn&apos;t remove “%1”: %2.</source>
        <translation>„%1“ konnte nicht entfernt werden: %2.</translation>
    </message>
</context>
<context>
    <name>MessageBoxAlerts</name>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Später</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>NoticeBox</name>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>OtherMachinesDialog</name>
    <message>
        <source>Other Machines</source>
        <translation>Andere Rechner</translation>
    </message>
    <message>
        <source>Show the listening ports of these machines too, read over ssh with your own configuration and keys:</source>
        <translation>Auch die lauschenden Ports dieser Rechner zeigen, gelesen über ssh mit Ihrer eigenen Konfiguration und Ihren Schlüsseln:</translation>
    </message>
    <message>
        <source>Machines</source>
        <translation>Rechner</translation>
    </message>
    <message>
        <source>~/.ssh/config names no hosts (wildcard patterns are left out); type one below.</source>
        <translation>~/.ssh/config nennt keine Hosts (Muster mit Platzhaltern bleiben außen vor); geben Sie unten einen ein.</translation>
    </message>
    <message>
        <source>host, alias or user@host</source>
        <translation>Host, Alias oder Benutzer@Host</translation>
    </message>
    <message>
        <source>Host to add</source>
        <translation>Hinzuzufügender Host</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Type a host name.</source>
        <translation>Geben Sie einen Hostnamen ein.</translation>
    </message>
    <message>
        <source>A host can&apos;t begin with “-”: ssh would take it for an option.</source>
        <translation>Ein Host kann nicht mit „-“ beginnen: ssh hielte ihn für eine Option.</translation>
    </message>
    <message>
        <source>A host can&apos;t hold blanks or control characters.</source>
        <translation>Ein Host kann keine Leer- oder Steuerzeichen enthalten.</translation>
    </message>
</context>
<context>
    <name>PanelWindow</name>
    <message>
        <source>Tidewatch</source>
        <translation>Tidewatch</translation>
    </message>
</context>
<context>
    <name>PortChangeNotifier</name>
    <message>
        <source>1 port is now listening</source>
        <translation>1 Port lauscht jetzt</translation>
    </message>
    <message>
        <source>%1 ports are now listening</source>
        <translation>%1 Ports lauschen jetzt</translation>
    </message>
    <message>
        <source>1 port stopped listening</source>
        <translation>1 Port lauscht nicht mehr</translation>
    </message>
    <message>
        <source>%1 ports stopped listening</source>
        <translation>%1 Ports lauschen nicht mehr</translation>
    </message>
    <message>
        <source>Port %1 is now listening</source>
        <translation>Port %1 lauscht jetzt</translation>
    </message>
    <message>
        <source>Port %1 is now listening — %2</source>
        <translation>Port %1 lauscht jetzt — %2</translation>
    </message>
    <message>
        <source>Port %1 stopped listening</source>
        <translation>Port %1 lauscht nicht mehr</translation>
    </message>
    <message>
        <source>Port %1 stopped listening — %2</source>
        <translation>Port %1 lauscht nicht mehr — %2</translation>
    </message>
    <message>
        <source>Tidewatch can&apos;t notify you when ports start or stop listening: no notification service on this desktop answers.</source>
        <translation>Tidewatch kann nicht melden, wenn Ports zu lauschen beginnen oder aufhören: Kein Benachrichtigungsdienst auf diesem Desktop antwortet.</translation>
    </message>
</context>
<context>
    <name>PortForwards</name>
    <message>
        <source>no free port here</source>
        <translation>kein freier Port auf diesem Rechner</translation>
    </message>
    <message>
        <source>ssh could not be started: %1</source>
        <translation>ssh konnte nicht gestartet werden: %1</translation>
    </message>
    <message>
        <source>ssh was ended</source>
        <translation>ssh wurde beendet</translation>
    </message>
    <message>
        <source>ssh exited with status %1</source>
        <translation>ssh endete mit Status %1</translation>
    </message>
</context>
<context>
    <name>PortList</name>
    <message>
        <source>Listening ports</source>
        <translation>Lauschende Ports</translation>
    </message>
    <message>
        <source>Open %1</source>
        <translation>%1 öffnen</translation>
    </message>
    <message>
        <source>Force kill: it ignored the request to quit</source>
        <translation>Beenden erzwingen: Der Prozess hat die Bitte zum Beenden übergangen</translation>
    </message>
    <message>
        <source>Kill process (Shift: force it)</source>
        <translation>Prozess beenden (Umschalt: erzwingen)</translation>
    </message>
    <message>
        <source>Stop %1</source>
        <translation>%1 anhalten</translation>
    </message>
    <message>
        <source>End as administrator…</source>
        <translation>Als Administrator beenden …</translation>
    </message>
    <message>
        <source>Forward it to this machine to open it</source>
        <translation>Zum Öffnen erst auf diesen Rechner weiterleiten</translation>
    </message>
    <message>
        <source>Stop forwarding</source>
        <translation>Weiterleitung beenden</translation>
    </message>
    <message>
        <source>Forward to this machine</source>
        <translation>Auf diesen Rechner weiterleiten</translation>
    </message>
</context>
<context>
    <name>PortListModel</name>
    <message>
        <source>loopback</source>
        <translation>nur lokal</translation>
    </message>
    <message>
        <source>all interfaces</source>
        <translation>alle Schnittstellen</translation>
    </message>
    <message>
        <source>owned by %1</source>
        <translation>gehört %1</translation>
    </message>
    <message>
        <source>container %1</source>
        <translation>Container %1</translation>
    </message>
    <message>
        <source>Service: %1</source>
        <translation>Dienst: %1</translation>
    </message>
    <message>
        <source>Container: %1</source>
        <translation>Container: %1</translation>
    </message>
    <message>
        <source>Port %1</source>
        <translation>Port %1</translation>
    </message>
    <message>
        <source>PID %1</source>
        <translation>PID %1</translation>
    </message>
    <message>
        <source>The process listening here belongs to another user (%1): its name can&apos;t be read, and it can&apos;t be ended from here.</source>
        <translation>Der hier lauschende Prozess gehört einem anderen Benutzer (%1): Sein Name ist nicht lesbar, und er kann von hier aus nicht beendet werden.</translation>
    </message>
    <message>
        <source>Command: %1</source>
        <translation>Befehl: %1</translation>
    </message>
    <message>
        <source>Folder: %1</source>
        <translation>Ordner: %1</translation>
    </message>
    <message>
        <source>Listening on: %1</source>
        <translation>Lauscht auf: %1</translation>
    </message>
    <message>
        <source>just started</source>
        <translation>gerade gestartet</translation>
    </message>
    <message>
        <source>%1 d %2 h</source>
        <translation>%1 T %2 h</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>Running since %1 (%2)</source>
        <translation>Läuft seit %1 (%2)</translation>
    </message>
    <message>
        <source>UDP port %1</source>
        <translation>UDP-Port %1</translation>
    </message>
    <message>
        <source>Connections: %1</source>
        <translation>Verbindungen: %1</translation>
    </message>
    <message>
        <source>1 connection</source>
        <translation>1 Verbindung</translation>
    </message>
    <message>
        <source>%1 connections</source>
        <translation>%1 Verbindungen</translation>
    </message>
    <message>
        <source>systemd, for %1</source>
        <translation>systemd, für %1</translation>
    </message>
    <message>
        <source>on %1</source>
        <translation>auf %1</translation>
    </message>
    <message>
        <source>connecting…</source>
        <translation>Verbindung wird aufgebaut…</translation>
    </message>
    <message>
        <source>1 listening port</source>
        <translation>1 lauschender Port</translation>
    </message>
    <message>
        <source>%1 listening ports</source>
        <translation>%1 lauschende Ports</translation>
    </message>
    <message>
        <source>connection lost: %1</source>
        <translation>Verbindung verloren: %1</translation>
    </message>
    <message>
        <source>unreachable: %1</source>
        <translation>nicht erreichbar: %1</translation>
    </message>
    <message>
        <source>→ localhost:%1</source>
        <translation>→ localhost:%1</translation>
    </message>
    <message>
        <source>forward ended: %1</source>
        <translation>Weiterleitung beendet: %1</translation>
    </message>
    <message>
        <source>On %1</source>
        <translation>Auf %1</translation>
    </message>
    <message>
        <source>another user&apos;s process</source>
        <translation>Prozess eines anderen Benutzers</translation>
    </message>
    <message>
        <source>next try %1</source>
        <translation>nächster Versuch %1</translation>
    </message>
</context>
<context>
    <name>PortListView</name>
    <message>
        <source>Tidewatch</source>
        <translation>Tidewatch</translation>
    </message>
    <message>
        <source>System</source>
        <translation>System</translation>
    </message>
    <message>
        <source>Show ports below 1024</source>
        <translation>Ports unter 1024 anzeigen</translation>
    </message>
    <message>
        <source>No listening ports</source>
        <translation>Keine lauschenden Ports</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Tip the maker</source>
        <translation>Dem Entwickler etwas spenden</translation>
    </message>
    <message>
        <source>Contact the maker</source>
        <translation>Den Entwickler kontaktieren</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>“%1” (PID %2)</source>
        <translation>„%1“ (PID %2)</translation>
    </message>
    <message>
        <source>Couldn&apos;t quit %1: it belongs to another user, and the system doesn&apos;t let Tidewatch end it.</source>
        <translation>%1 konnte nicht beendet werden: Der Prozess gehört einem anderen Benutzer, und das System erlaubt Tidewatch nicht, ihn zu beenden.</translation>
    </message>
    <message>
        <source>Couldn&apos;t quit %1.</source>
        <translation>%1 konnte nicht beendet werden.</translation>
    </message>
    <message>
        <source>Couldn&apos;t open %1: no application on this desktop took it. Copy the address from here and open it by hand.</source>
        <translation>%1 konnte nicht geöffnet werden: Keine Anwendung auf diesem Desktop hat die Adresse angenommen. Kopieren Sie die Adresse von hier und öffnen Sie sie von Hand.</translation>
    </message>
    <message>
        <source>1 system port is hidden. Tick “System” to show it.</source>
        <translation>1 Systemport ist ausgeblendet. Setzen Sie den Haken bei „System“, um ihn anzuzeigen.</translation>
    </message>
    <message>
        <source>%1 system ports are hidden. Tick “System” to show them.</source>
        <translation>%1 Systemports sind ausgeblendet. Setzen Sie den Haken bei „System“, um sie anzuzeigen.</translation>
    </message>
    <message>
        <source>Type to filter</source>
        <translation>Tippen zum Filtern</translation>
    </message>
    <message>
        <source>Filter ports</source>
        <translation>Ports filtern</translation>
    </message>
    <message>
        <source>Open in Browser</source>
        <translation>Im Browser öffnen</translation>
    </message>
    <message>
        <source>Copy URL</source>
        <translation>URL kopieren</translation>
    </message>
    <message>
        <source>Copy Port</source>
        <translation>Port kopieren</translation>
    </message>
    <message>
        <source>Copy PID</source>
        <translation>PID kopieren</translation>
    </message>
    <message>
        <source>Copy Command Line</source>
        <translation>Befehlszeile kopieren</translation>
    </message>
    <message>
        <source>Quit Process</source>
        <translation>Prozess beenden</translation>
    </message>
    <message>
        <source>Force Quit Process</source>
        <translation>Prozess sofort beenden</translation>
    </message>
    <message>
        <source>No listening port matches “%1”.</source>
        <translation>Kein lauschender Port passt zu „%1“.</translation>
    </message>
    <message>
        <source>Port, name, PID, user, service or container; Escape clears</source>
        <translation>Port, Name, PID, Benutzer, Dienst oder Container; Esc leert das Feld</translation>
    </message>
    <message>
        <source>“%1” (PID %2) belongs to another user. End it anyway?</source>
        <translation>„%1“ (PID %2) gehört einem anderen Benutzer. Trotzdem beenden?</translation>
    </message>
    <message>
        <source>“%1” (PID %2) belongs to the user %3. End it anyway?</source>
        <translation>„%1“ (PID %2) gehört dem Benutzer %3. Trotzdem beenden?</translation>
    </message>
    <message>
        <source>Force end process</source>
        <translation>Beenden erzwingen</translation>
    </message>
    <message>
        <source>End process</source>
        <translation>Prozess beenden</translation>
    </message>
    <message>
        <source>End as Administrator…</source>
        <translation>Als Administrator beenden …</translation>
    </message>
    <message>
        <source>Couldn&apos;t quit %1: it belongs to another user.</source>
        <translation>%1 konnte nicht beendet werden: Es gehört einem anderen Benutzer.</translation>
    </message>
    <message>
        <source>Dismiss</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Port %1 is listening again — restarted by %2 (pid %3)</source>
        <translation>Port %1 lauscht wieder — neu gestartet von %2 (PID %3)</translation>
    </message>
    <message>
        <source>End %1 too</source>
        <translation>Auch %1 beenden</translation>
    </message>
    <message>
        <source>Port %1 is listening again — restarted by %2</source>
        <translation>Port %1 lauscht wieder — neu gestartet von %2</translation>
    </message>
    <message>
        <source>Stop %1</source>
        <translation>%1 anhalten</translation>
    </message>
    <message>
        <source>Port %1 is listening again — restarted by container %2</source>
        <translation>Port %1 lauscht wieder — neu gestartet von Container %2</translation>
    </message>
    <message>
        <source>container %1</source>
        <translation>Container %1</translation>
    </message>
    <message>
        <source>Stop container %1</source>
        <translation>Container %1 anhalten</translation>
    </message>
    <message>
        <source>Port %1 is listening again: “%2” (PID %3) took it; nothing tells who started it.</source>
        <translation>Port %1 lauscht wieder: „%2“ (PID %3) hat ihn übernommen; wer ihn gestartet hat, ist nicht zu erkennen.</translation>
    </message>
    <message>
        <source>Couldn&apos;t stop %1: it is gone. Nothing else was stopped.</source>
        <translation>%1 konnte nicht angehalten werden: Es gibt ihn nicht mehr. Sonst wurde nichts angehalten.</translation>
    </message>
    <message>
        <source>Not allowed to stop %1: the authorization was refused or dismissed. Nothing was stopped.</source>
        <translation>%1 darf nicht angehalten werden: Die Berechtigung wurde verweigert oder abgebrochen. Nichts wurde angehalten.</translation>
    </message>
    <message>
        <source>Couldn&apos;t stop %1: there is no service manager or container engine to ask.</source>
        <translation>%1 konnte nicht angehalten werden: Es gibt keinen Dienstverwalter und keine Container-Engine, die gefragt werden könnte.</translation>
    </message>
    <message>
        <source>Couldn&apos;t stop %1.</source>
        <translation>%1 konnte nicht angehalten werden.</translation>
    </message>
    <message>
        <source>Couldn&apos;t stop %1: %2</source>
        <translation>%1 konnte nicht angehalten werden: %2</translation>
    </message>
    <message>
        <source>Port %1 belongs to another user.</source>
        <translation>Port %1 gehört einem anderen Benutzer.</translation>
    </message>
    <message>
        <source>Port %1 belongs to the user %2.</source>
        <translation>Port %1 gehört dem Benutzer %2.</translation>
    </message>
    <message>
        <source>End its owner as administrator? The system asks for a password.</source>
        <translation>Seinen Besitzer als Administrator beenden? Das System fragt nach einem Passwort.</translation>
    </message>
    <message>
        <source>Freeing port %1 as administrator…</source>
        <translation>Port %1 wird als Administrator freigegeben …</translation>
    </message>
    <message>
        <source>As administrator, port %1: tidewatch-ports said nothing (status %2).</source>
        <translation>Als Administrator, Port %1: tidewatch-ports hat nichts gemeldet (Status %2).</translation>
    </message>
    <message>
        <source>As administrator: %1</source>
        <translation>Als Administrator: %1</translation>
    </message>
    <message>
        <source>Nothing was ended: the authorization to free port %1 was dismissed or refused.</source>
        <translation>Nichts wurde beendet: Die Berechtigung, Port %1 freizugeben, wurde abgebrochen oder verweigert.</translation>
    </message>
    <message>
        <source>Couldn&apos;t free port %1 as administrator: pkexec could not run or did not finish.</source>
        <translation>Port %1 konnte nicht als Administrator freigegeben werden: pkexec ließ sich nicht starten oder wurde nicht fertig.</translation>
    </message>
    <message>
        <source>Port %1 is held by systemd for %2. Stop it?</source>
        <translation>Port %1 wird von systemd für %2 gehalten. Anhalten?</translation>
    </message>
    <message>
        <source>Port %1 is held by systemd for %2, which starts %3. Stop them?</source>
        <translation>Port %1 wird von systemd für %2 gehalten, das %3 startet. Beide anhalten?</translation>
    </message>
    <message>
        <source>“%1” (PID %2) or “%3” (PID %4) belongs to another user. End them anyway?</source>
        <translation>„%1“ (PID %2) oder „%3“ (PID %4) gehört einem anderen Benutzer. Trotzdem beenden?</translation>
    </message>
    <message>
        <source>End processes</source>
        <translation>Prozesse beenden</translation>
    </message>
    <message>
        <source>Stopping %1…</source>
        <translation>%1 wird angehalten …</translation>
    </message>
    <message>
        <source>Couldn&apos;t stop %1: no answer within %2 seconds. It may still stop.</source>
        <translation>%1 konnte nicht angehalten werden: keine Antwort innerhalb von %2 Sekunden. Vielleicht hält er noch an.</translation>
    </message>
    <message>
        <source>End as administrator…</source>
        <translation>Als Administrator beenden …</translation>
    </message>
    <message>
        <source>Stop Forwarding</source>
        <translation>Weiterleitung beenden</translation>
    </message>
    <message>
        <source>Forward to This Machine</source>
        <translation>Auf diesen Rechner weiterleiten</translation>
    </message>
</context>
<context>
    <name>PortRowDelegate</name>
    <message>
        <source>Still running</source>
        <translation>Läuft noch</translation>
    </message>
</context>
<context>
    <name>PreferencesFile</name>
    <message>
        <source>a file of %1 MiB</source>
        <translation>eine Datei von %1 MiB</translation>
    </message>
    <message>
        <source>not a file</source>
        <translation>keine Datei</translation>
    </message>
    <message>
        <source>The preferences at %1 are %2 and can&apos;t be moved aside; the preferences are kept only until Tidewatch quits.</source>
        <translation>Die Einstellungen unter %1 sind %2 und lassen sich nicht beiseiteschieben; die Einstellungen gelten nur, bis Tidewatch beendet wird.</translation>
    </message>
    <message>
        <source>The preferences at %1 were %2: they are kept as %3, and the defaults are used.</source>
        <translation>Die Einstellungen unter %1 waren %2: Sie bleiben als %3 erhalten, und die Standardwerte gelten.</translation>
    </message>
    <message>
        <source>%1 is in the way of the preferences&apos; lock at %2; the preferences are kept only until Tidewatch quits.</source>
        <translation>%1 steht der Sperre der Einstellungen unter %2 im Weg; die Einstellungen gelten nur, bis Tidewatch beendet wird.</translation>
    </message>
    <message>
        <source>%1 was in the way of the preferences&apos; lock at %2: it is kept as %3.</source>
        <translation>%1 stand der Sperre der Einstellungen unter %2 im Weg und bleibt als %3 erhalten.</translation>
    </message>
</context>
<context>
    <name>PrivatePaths</name>
    <message>
        <source>a symbolic link</source>
        <translation>ein symbolischer Link</translation>
    </message>
    <message>
        <source>a folder</source>
        <translation>ein Ordner</translation>
    </message>
    <message>
        <source>a special file</source>
        <translation>eine Spezialdatei</translation>
    </message>
    <message>
        <source>removed %1 left at the lock path %2</source>
        <translation>%1 am Sperrpfad %2 entfernt</translation>
    </message>
    <message>
        <source>can&apos;t make the folder %1 for %2: %3</source>
        <translation>Der Ordner %1 für %2 lässt sich nicht anlegen: %3</translation>
    </message>
    <message>
        <source>it is not a folder (a symbolic link?)</source>
        <translation>Er ist kein Ordner (ein symbolischer Link?)</translation>
    </message>
    <message>
        <source>it belongs to another user (uid %1)</source>
        <translation>Er gehört einem anderen Benutzer (UID %1)</translation>
    </message>
    <message>
        <source>others may use it (mode %1)</source>
        <translation>Andere dürfen ihn benutzen (Modus %1)</translation>
    </message>
    <message>
        <source>the folder %1 for %2 is not private: %3</source>
        <translation>Der Ordner %1 für %2 ist nicht privat: %3</translation>
    </message>
</context>
<context>
    <name>RemoteAnswer</name>
    <message>
        <source>unexpected answer at line %1</source>
        <translation>unerwartete Antwort in Zeile %1</translation>
    </message>
    <message>
        <source>unexpected answer: not text</source>
        <translation>unerwartete Antwort: kein Text</translation>
    </message>
    <message>
        <source>unexpected answer: not a JSON array</source>
        <translation>unerwartete Antwort: kein JSON-Array</translation>
    </message>
    <message>
        <source>unexpected answer: record %1</source>
        <translation>unerwartete Antwort: Eintrag %1</translation>
    </message>
</context>
<context>
    <name>RemoteLister</name>
    <message>
        <source>no answer in %1 s</source>
        <translation>keine Antwort in %1 s</translation>
    </message>
    <message>
        <source>not a host name: &quot;%1&quot;</source>
        <translation>kein Hostname: „%1“</translation>
    </message>
    <message>
        <source>cannot run %1: %2</source>
        <translation>%1 lässt sich nicht ausführen: %2</translation>
    </message>
    <message>
        <source>the answer is larger than %1 MiB</source>
        <translation>die Antwort ist größer als %1 MiB</translation>
    </message>
    <message>
        <source>ssh exited with status %1</source>
        <translation>ssh endete mit Status %1</translation>
    </message>
    <message>
        <source>ssh ended abnormally</source>
        <translation>ssh endete abnormal</translation>
    </message>
</context>
<context>
    <name>SettingsBlock</name>
    <message>
        <source>Open at login</source>
        <translation>Bei der Anmeldung öffnen</translation>
    </message>
    <message>
        <source>Check for updates…</source>
        <translation>Nach Aktualisierungen suchen…</translation>
    </message>
    <message>
        <source>Notify when a port starts or stops listening</source>
        <translation>Melden, wenn Ports öffnen oder schließen</translation>
    </message>
    <message>
        <source>This build does not check for updates.</source>
        <translation>Diese Ausgabe sucht nicht nach Aktualisierungen.</translation>
    </message>
    <message>
        <source>Other machines…</source>
        <translation>Andere Rechner…</translation>
    </message>
    <message>
        <source>Watch the ports of other machines over ssh</source>
        <translation>Die Ports anderer Rechner über ssh beobachten</translation>
    </message>
</context>
<context>
    <name>SingleInstanceGuard</name>
    <message>
        <source>tidewatch: starting without the single-instance guard</source>
        <translation>tidewatch: Start ohne Schutz vor einer zweiten Instanz</translation>
    </message>
    <message>
        <source>the single-instance lock</source>
        <translation>die Sperre gegen eine zweite Instanz</translation>
    </message>
    <message>
        <source>tidewatch: %1 is in the way of the lock at %2</source>
        <translation>tidewatch: %1 steht der Sperre unter %2 im Weg</translation>
    </message>
</context>
<context>
    <name>TrayShell</name>
    <message>
        <source>Show Panel</source>
        <translation>Übersicht zeigen</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Open at Login</source>
        <translation>Bei der Anmeldung öffnen</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>Nach Aktualisierungen suchen…</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Hide Panel</source>
        <translation>Übersicht ausblenden</translation>
    </message>
    <message>
        <source>Tidewatch — 1 listening port</source>
        <translation>Tidewatch — 1 lauschender Port</translation>
    </message>
    <message>
        <source>Tidewatch — %1 listening ports</source>
        <translation>Tidewatch — %1 lauschende Ports</translation>
    </message>
    <message>
        <source>%1 (1 system port hidden)</source>
        <translation>%1 (1 Systemport ausgeblendet)</translation>
    </message>
    <message>
        <source>%1 (%2 system ports hidden)</source>
        <translation>%1 (%2 Systemports ausgeblendet)</translation>
    </message>
    <message>
        <source>Tidewatch</source>
        <translation>Tidewatch</translation>
    </message>
</context>
<context>
    <name>UpdateChecker</name>
    <message>
        <source>The update server stopped answering.</source>
        <translation>Der Aktualisierungsserver antwortet nicht mehr.</translation>
    </message>
    <message>
        <source>The check was interrupted.</source>
        <translation>Die Prüfung wurde unterbrochen.</translation>
    </message>
    <message>
        <source>The answer is over 1 MiB, too large for an update feed.</source>
        <translation>Die Antwort ist größer als 1 MiB, zu groß für einen Aktualisierungs-Feed.</translation>
    </message>
    <message>
        <source>This app</source>
        <translation>Dieses Programm</translation>
    </message>
    <message>
        <source>This build has no update feed to check.</source>
        <translation>Diese Ausgabe hat keinen Aktualisierungs-Feed.</translation>
    </message>
    <message>
        <source>The update server took too long to answer.</source>
        <translation>Der Aktualisierungsserver hat zu lange gebraucht.</translation>
    </message>
    <message>
        <source>The update server answered %1 %2.</source>
        <translation>Der Aktualisierungsserver antwortete %1 %2.</translation>
    </message>
    <message>
        <source>The answer is not an update feed.</source>
        <translation>Die Antwort ist kein Aktualisierungs-Feed.</translation>
    </message>
    <message>
        <source>The update feed&apos;s download address is not a web page.</source>
        <translation>Die Download-Adresse des Aktualisierungs-Feeds ist keine Webseite.</translation>
    </message>
</context>
<context>
    <name>UpdatePrompter</name>
    <message>
        <source>Couldn&apos;t open the download page</source>
        <translation>Die Download-Seite konnte nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Open this address in a web browser:</source>
        <translation>Öffnen Sie diese Adresse in einem Webbrowser:</translation>
    </message>
    <message>
        <source>%1 %2 is available</source>
        <translation>%1 %2 ist verfügbar</translation>
    </message>
    <message>
        <source>You&apos;re running %1.</source>
        <translation>Sie verwenden %1.</translation>
    </message>
    <message>
        <source>You&apos;re up to date</source>
        <translation>Sie sind auf dem neuesten Stand</translation>
    </message>
    <message>
        <source>Couldn&apos;t check for updates</source>
        <translation>Nach Aktualisierungen konnte nicht gesucht werden</translation>
    </message>
    <message>
        <source>%1 %2 is the latest version.</source>
        <translation>%1 %2 ist die neueste Version.</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>tidewatch: the session bus does not answer; starting without it (no StatusNotifierItem tray icon, no notifications, no accessibility bridge)</source>
        <translation>tidewatch: Der Sitzungsbus antwortet nicht; Start ohne ihn (kein StatusNotifierItem-Symbol, keine Benachrichtigungen, keine Barrierefreiheits-Schnittstelle)</translation>
    </message>
    <message>
        <source>ssh&apos;s kept connections</source>
        <translation>die gehaltenen Verbindungen von ssh</translation>
    </message>
</context>
<context>
    <name>tidewatch-ports</name>
    <message>
        <source>Ask the lsof executable at &lt;path&gt; instead.</source>
        <translation>Stattdessen das lsof-Programm unter &lt;Pfad&gt; befragen.</translation>
    </message>
    <message>
        <source>path</source>
        <translation>Pfad</translation>
    </message>
    <message>
        <source>Scan &lt;n&gt; times with the same source and print the last list (to measure the cost of a steady scan).</source>
        <translation>&lt;n&gt;-mal mit derselben Quelle abfragen und die letzte Liste ausgeben (misst die Kosten einer laufenden Abfrage).</translation>
    </message>
    <message>
        <source>n</source>
        <translation>n</translation>
    </message>
    <message>
        <source>--repeat needs a whole number of at least 1, not &quot;%1&quot;</source>
        <translation>--repeat braucht eine ganze Zahl von mindestens 1, nicht „%1“</translation>
    </message>
    <message>
        <source>Print only the rows of these ports, and exit with status 3 when nothing listens on any of them.</source>
        <translation>Nur die Zeilen dieser Ports ausgeben, und mit Status 3 enden, wenn auf keinem davon etwas lauscht.</translation>
    </message>
    <message>
        <source>not a port number (1 to 65535): &quot;%1&quot;</source>
        <translation>keine Portnummer (1 bis 65535): „%1“</translation>
    </message>
    <message>
        <source>Print the records, then each record that appears or goes as the scans find it, until interrupted; with --json as JSON Lines with &quot;event&quot; (&quot;listening&quot; or &quot;closed&quot;) and &quot;time&quot;.</source>
        <translation>Die Einträge ausgeben, dann jeden Eintrag, der hinzukommt oder wegfällt, sobald die Abfragen ihn finden, bis zum Abbruch; mit --json als JSON Lines mit &quot;event&quot; (&quot;listening&quot; oder &quot;closed&quot;) und &quot;time&quot;.</translation>
    </message>
    <message>
        <source>Scan every &lt;seconds&gt; (1 to 3600) with --watch.</source>
        <translation>Mit --watch alle &lt;Sekunden&gt; (1 bis 3600) abfragen.</translation>
    </message>
    <message>
        <source>seconds</source>
        <translation>Sekunden</translation>
    </message>
    <message>
        <source>Print the records as Prometheus metrics (text format).</source>
        <translation>Die Einträge als Prometheus-Metriken (Textformat) ausgeben.</translation>
    </message>
    <message>
        <source>Write the metrics to &lt;path&gt; at once, as a new file that replaces the old one (for the node exporter&apos;s textfile collector).</source>
        <translation>Die Metriken auf einmal nach &lt;Pfad&gt; schreiben, als neue Datei, die die alte ersetzt (für den Textfile-Collector des Node Exporters).</translation>
    </message>
    <message>
        <source>--interval needs a whole number from 1 to 3600, not &quot;%1&quot;</source>
        <translation>--interval braucht eine ganze Zahl von 1 bis 3600, nicht „%1“</translation>
    </message>
    <message>
        <source>--watch and --metrics do not go together</source>
        <translation>--watch und --metrics gehen nicht zusammen</translation>
    </message>
    <message>
        <source>cannot write %1: %2</source>
        <translation>%1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>Lists the local TCP ports that listen and the bound, unconnected UDP ports, system ports included, with the owning process, user, addresses and, for TCP, the established connections, sorted by port and then process id. Sockets of processes it may not see are listed by user.</source>
        <translation>Listet die lokalen TCP-Ports, die lauschen, und die gebundenen, nicht verbundenen UDP-Ports, Systemports eingeschlossen, mit besitzendem Prozess, Benutzer, Adressen und, für TCP, den bestehenden Verbindungen, sortiert nach Port und dann Prozess-ID. Sockets von Prozessen, die es nicht sehen darf, werden nach Benutzer aufgeführt.</translation>
    </message>
    <message>
        <source>List TCP ports only.</source>
        <translation>Nur TCP-Ports auflisten.</translation>
    </message>
    <message>
        <source>List UDP ports only.</source>
        <translation>Nur UDP-Ports auflisten.</translation>
    </message>
    <message>
        <source>Print a JSON array of {&quot;port&quot;, &quot;pid&quot;, &quot;processName&quot;, &quot;user&quot;, &quot;addresses&quot;, &quot;program&quot;, &quot;unit&quot;, &quot;container&quot;, &quot;protocol&quot;, &quot;connections&quot;, &quot;started&quot;} objects; pid is null where the owning process cannot be seen, processName where the source names none, program, unit and container where there is none, connections for UDP, started (UTC) where it is unknown.</source>
        <translation>Gibt ein JSON-Array von {&quot;port&quot;, &quot;pid&quot;, &quot;processName&quot;, &quot;user&quot;, &quot;addresses&quot;, &quot;program&quot;, &quot;unit&quot;, &quot;container&quot;, &quot;protocol&quot;, &quot;connections&quot;, &quot;started&quot;}-Objekten aus; pid ist null, wo der besitzende Prozess nicht sichtbar ist, processName, wo die Quelle keinen Namen nennt, program, unit und container, wo es keine gibt, connections bei UDP, started (UTC), wo er unbekannt ist.</translation>
    </message>
    <message>
        <source>--free does not go with --%1</source>
        <translation>--free geht nicht mit --%1</translation>
    </message>
    <message>
        <source>--%1 goes with --free only</source>
        <translation>--%1 geht nur mit --free</translation>
    </message>
    <message>
        <source>run by pkexec, only --free is taken</source>
        <translation>von pkexec gestartet, wird nur --free angenommen</translation>
    </message>
    <message>
        <source>--free needs at least one port</source>
        <translation>--free braucht mindestens einen Port</translation>
    </message>
    <message>
        <source>End the processes that listen on the ports given, wait until the ports are free and print one line per port: free, still listening, or listening again and who restarted it. Exit status 0 when every port is free, 4 when one still or again listens, 1 when an owner is not ours to end (nothing is ended on its port).</source>
        <translation>Die Prozesse beenden, die an den angegebenen Ports lauschen, warten, bis die Ports frei sind, und eine Zeile je Port ausgeben: frei, lauscht noch, oder lauscht wieder und wer neu gestartet hat. Exit-Status 0, wenn jeder Port frei ist, 4, wenn einer noch oder wieder lauscht, 1, wenn ein Besitzer nicht von uns beendet werden darf (an seinem Port wird nichts beendet).</translation>
    </message>
    <message>
        <source>Wait up to &lt;seconds&gt; (0.1 to 60) for the ports to be free with --free.</source>
        <translation>Mit --free bis zu &lt;Sekunden&gt; (0.1 bis 60) warten, bis die Ports frei sind.</translation>
    </message>
    <message>
        <source>With --free, kill (SIGKILL) an owner still running after the wait, and wait again.</source>
        <translation>Mit --free einen Besitzer, der nach dem Warten noch läuft, mit SIGKILL beenden und erneut warten.</translation>
    </message>
    <message>
        <source>--wait needs a number of seconds from 0.1 to 60, not &quot;%1&quot;</source>
        <translation>--wait braucht eine Zahl von Sekunden von 0.1 bis 60, nicht „%1“</translation>
    </message>
    <message>
        <source>List the ports of &lt;host&gt; instead of this machine&apos;s, over ssh with your own configuration, keys and agent (no password prompt, 20 s at most), read there by tidewatch-ports, ss or /proc/net; may be given more than once. The JSON records gain &quot;host&quot; and &quot;source&quot;.</source>
        <translation>Die Ports von &lt;Host&gt; statt die dieses Rechners auflisten, über ssh mit Ihrer eigenen Konfiguration, Ihren Schlüsseln und Ihrem Agenten (ohne Passwortabfrage, höchstens 20 s), dort gelesen von tidewatch-ports, ss oder /proc/net; darf mehrmals angegeben werden. Die JSON-Einträge erhalten &quot;host&quot; und &quot;source&quot;.</translation>
    </message>
    <message>
        <source>host</source>
        <translation>Host</translation>
    </message>
    <message>
        <source>not a host name: &quot;%1&quot;</source>
        <translation>kein Hostname: „%1“</translation>
    </message>
    <message>
        <source>--host does not go with --watch, --metrics, --lsof or --repeat</source>
        <translation>--host geht nicht mit --watch, --metrics, --lsof oder --repeat</translation>
    </message>
</context>
</TS>
