<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="es">
<context>
    <name>ChartModule</name>
    <message>
        <source>El gráfico no está disponible: </source>
        <translation>The chart is not available: </translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>opción desconocida %1</source>
        <translation>unknown option %1</translation>
    </message>
    <message>
        <source>Uso: lurn [--diagnose | --report | --console | --version | --help]
  --diagnose  muestra cómo llega Lurn a las ventanas de los otros programas en este escritorio
  --report    abre solo el informe de los registros de sesiones (sin cuenta atrás ni bloqueo)
  --console   abre «Sala», la vista en directo de todos los puestos para el mostrador
  --version   muestra la versión
</source>
        <translation>Usage: lurn [--diagnose | --report | --console | --version | --help]
  --diagnose  print how Lurn reaches other programs&apos; windows on this desktop
  --report    open the session records&apos; report alone (no countdown, no lock)
  --console   open &quot;Room&quot;, the counter&apos;s live view of every station
  --version   print the version
</translation>
    </message>
</context>
<context>
    <name>CommandLog</name>
    <message>
        <source>Órdenes enviadas</source>
        <translation>Orders sent</translation>
    </message>
    <message>
        <source>enviado</source>
        <translation>sent</translation>
    </message>
    <message>
        <source>no enviado: %1</source>
        <translation>not sent: %1</translation>
    </message>
    <message>
        <source>hecho</source>
        <translation>done</translation>
    </message>
    <message>
        <source>rechazado: %1</source>
        <translation>refused: %1</translation>
    </message>
    <message>
        <source>caducado</source>
        <translation>expired</translation>
    </message>
</context>
<context>
    <name>ConsoleWindow</name>
    <message>
        <source>Sala</source>
        <translation>Room</translation>
    </message>
    <message>
        <source>Conectando con el servidor…</source>
        <translation>Connecting to the server…</translation>
    </message>
    <message>
        <source>Puestos</source>
        <translation>Stations</translation>
    </message>
    <message>
        <source>&amp;Iniciar…</source>
        <translation>&amp;Start…</translation>
    </message>
    <message>
        <source>+15 min</source>
        <translation>+15 min</translation>
    </message>
    <message>
        <source>+30 min</source>
        <translation>+30 min</translation>
    </message>
    <message>
        <source>+60 min</source>
        <translation>+60 min</translation>
    </message>
    <message>
        <source>Minutos a añadir</source>
        <translation>Minutes to add</translation>
    </message>
    <message>
        <source>minutos</source>
        <translation>minutes</translation>
    </message>
    <message>
        <source>Añadir &amp;tiempo</source>
        <translation>Add &amp;time</translation>
    </message>
    <message>
        <source>&amp;Parar</source>
        <translation>Sto&amp;p</translation>
    </message>
    <message>
        <source>&amp;Mensaje…</source>
        <translation>&amp;Message…</translation>
    </message>
    <message>
        <source>Caja de hoy: %1</source>
        <translation>Today&apos;s takings: %1</translation>
    </message>
    <message>
        <source>Conectado con el servidor.</source>
        <translation>Connected to the server.</translation>
    </message>
    <message>
        <source>Fuera de rango</source>
        <translation>Out of range</translation>
    </message>
    <message>
        <source>Minutos a añadir: %1</source>
        <translation>Minutes to add: %1</translation>
    </message>
    <message>
        <source>Órdenes enviadas</source>
        <translation>Orders sent</translation>
    </message>
    <message>
        <source>Caja de hoy: %1, sin datos dudosos</source>
        <translation>Today&apos;s takings: %1, doubtful data left out</translation>
    </message>
    <message>
        <source>Datos dudosos de: %1</source>
        <translation>Doubtful data from: %1</translation>
    </message>
</context>
<context>
    <name>MessageBoxes</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
</context>
<context>
    <name>MessageDialog</name>
    <message>
        <source>Mensaje a %1</source>
        <translation>Message to %1</translation>
    </message>
    <message>
        <source>Mensaje</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>Enviar</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>Texto que verá el cliente:</source>
        <translation>Text the customer will see:</translation>
    </message>
</context>
<context>
    <name>RecordSending</name>
    <message>
        <source>No se pueden leer en este equipo los registros pendientes</source>
        <translation>The pending records cannot be read on this computer</translation>
    </message>
    <message>
        <source>No se puede apartar en este equipo un registro ilegible</source>
        <translation>An unreadable record cannot be set aside on this computer</translation>
    </message>
    <message>
        <source>No se puede apartar en este equipo un registro rechazado</source>
        <translation>A refused record cannot be set aside on this computer</translation>
    </message>
    <message>
        <source>Enviado, pero no se puede anotar en este equipo</source>
        <translation>Sent, but it cannot be noted on this computer</translation>
    </message>
</context>
<context>
    <name>RecordStore</name>
    <message>
        <source>El archivo no es un registro de Lurn; no se ha tocado.</source>
        <translation>The file is not a Lurn records file; it has been left untouched.</translation>
    </message>
    <message>
        <source>El registro es de una versión más nueva de Lurn; no se ha tocado.</source>
        <translation>The records come from a newer Lurn; they have been left untouched.</translation>
    </message>
    <message>
        <source>No se pudo guardar el registro (¿disco lleno?); se reintentará.</source>
        <translation>The records could not be saved (disk full?); Lurn will try again.</translation>
    </message>
    <message>
        <source>La dirección del servidor no es válida.</source>
        <translation>The server address is not valid.</translation>
    </message>
    <message>
        <source>No se puede conectar con el servidor.</source>
        <translation>Cannot connect to the server.</translation>
    </message>
    <message>
        <source>El servidor rechaza la conexión: usuario o contraseña incorrectos (la contraseña va en ~/.pgpass o en PGPASSWORD).</source>
        <translation>The server refuses the connection: wrong user or password (the password goes in ~/.pgpass or in PGPASSWORD).</translation>
    </message>
    <message>
        <source>La base de datos no existe en el servidor.</source>
        <translation>The database does not exist on the server.</translation>
    </message>
    <message>
        <source>El usuario no tiene permiso para crear o escribir la tabla sessions.</source>
        <translation>The user may not create or write the table sessions.</translation>
    </message>
    <message>
        <source>Error en el registro.</source>
        <translation>Records error.</translation>
    </message>
    <message>
        <source>No se puede abrir el archivo de registros por ahora (bloqueado, ocupado o sin recursos); se reintentará.</source>
        <translation>The records file cannot be opened just now (locked, busy or out of resources); Lurn will try again.</translation>
    </message>
    <message>
        <source>El servidor rechaza este registro.</source>
        <translation>The server refuses this record.</translation>
    </message>
</context>
<context>
    <name>RecordsSettings</name>
    <message>
        <source>El nombre del puesto pasa de %1 caracteres.</source>
        <translation>The station&apos;s name is longer than %1 characters.</translation>
    </message>
    <message>
        <source>El nombre del puesto lleva caracteres que no se pueden mostrar.</source>
        <translation>The station&apos;s name holds characters that cannot be shown.</translation>
    </message>
</context>
<context>
    <name>ReportData</name>
    <message>
        <source>Puesto,Inicio,Fin,Minutos,Tarifa por hora,Importe,Final</source>
        <translation>Station,Start,End,Minutes,Rate per hour,Amount,Ending</translation>
    </message>
</context>
<context>
    <name>ReportLoader</name>
    <message>
        <source>Servidor %1 (todos los puestos): conectado.</source>
        <translation>Server %1 (every station): connected.</translation>
    </message>
    <message>
        <source>Aún no hay registros en este ordenador (%1).</source>
        <translation>No records on this computer yet (%1).</translation>
    </message>
    <message>
        <source>Registros de este ordenador: %1.</source>
        <translation>This computer&apos;s records: %1.</translation>
    </message>
    <message>
        <source>Se muestran solo los registros de este ordenador: %1.</source>
        <translation>Only this computer&apos;s records are shown: %1.</translation>
    </message>
    <message>
        <source>Conexión correcta: la tabla sessions está lista (%1 puestos con registros).</source>
        <translation>Connection works: the table sessions is ready (%1 stations with records).</translation>
    </message>
</context>
<context>
    <name>ReportModel</name>
    <message>
        <source>Puesto</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>Inicio</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Fin</source>
        <translation>End</translation>
    </message>
    <message>
        <source>Minutos</source>
        <translation>Minutes</translation>
    </message>
    <message>
        <source>Tarifa/hora</source>
        <translation>Rate/hour</translation>
    </message>
    <message>
        <source>Importe</source>
        <translation>Amount</translation>
    </message>
    <message>
        <source>Final</source>
        <translation>Ending</translation>
    </message>
    <message>
        <source>El puesto escribió valores fuera de rango (%1): la sesión no se suma en los totales.</source>
        <translation>The station wrote values out of range (%1): the session is not added to the totals.</translation>
    </message>
    <message>
        <source>dudoso</source>
        <translation>doubtful</translation>
    </message>
    <message>
        <source>%1 (dudoso)</source>
        <translation>%1 (doubtful)</translation>
    </message>
</context>
<context>
    <name>ReportWindow</name>
    <message>
        <source>Registro</source>
        <translation>Records</translation>
    </message>
    <message>
        <source>Exportadas %1 sesiones a %2.</source>
        <translation>%1 sessions exported to %2.</translation>
    </message>
    <message>
        <source>No se pudo exportar a %1: %2</source>
        <translation>Could not export to %1: %2</translation>
    </message>
    <message>
        <source>Todos</source>
        <translation>All</translation>
    </message>
    <message>
        <source>Hoy</source>
        <translation>Today</translation>
    </message>
    <message>
        <source>Este mes</source>
        <translation>This month</translation>
    </message>
    <message>
        <source>Este año</source>
        <translation>This year</translation>
    </message>
    <message>
        <source>Exportar CSV…</source>
        <translation>Export CSV…</translation>
    </message>
    <message>
        <source>Sala…</source>
        <translation>Room…</translation>
    </message>
    <message>
        <source>Desde</source>
        <translation>From</translation>
    </message>
    <message>
        <source>Hasta</source>
        <translation>To</translation>
    </message>
    <message>
        <source>Puesto</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>Origen de los registros</source>
        <translation>Where the records come from</translation>
    </message>
    <message>
        <source>vacío: solo este ordenador; p. ej. postgresql://lurn@caja.local/cafe</source>
        <translation>empty: this computer only; e.g. postgresql://lurn@caja.local/cafe</translation>
    </message>
    <message>
        <source>Probar conexión</source>
        <translation>Test connection</translation>
    </message>
    <message>
        <source>Guardar</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Ajustes del registro</source>
        <translation>Records settings</translation>
    </message>
    <message>
        <source>Servidor</source>
        <translation>Server</translation>
    </message>
    <message>
        <source>Cargando…</source>
        <translation>Loading…</translation>
    </message>
    <message>
        <source>Total: %1 sesiones, %2 minutos, importe %3.</source>
        <translation>Total: %1 sessions, %2 minutes, amount %3.</translation>
    </message>
    <message>
        <source>  Por puesto: </source>
        <translation>  Per station: </translation>
    </message>
    <message>
        <source>Este puesto guarda sus registros en %1.</source>
        <translation>This station keeps its records in %1.</translation>
    </message>
    <message>
        <source>Servidor %1: conectando…</source>
        <translation>Server %1: connecting…</translation>
    </message>
    <message>
        <source>Servidor %1: conectado.</source>
        <translation>Server %1: connected.</translation>
    </message>
    <message>
        <source>Servidor %1: sin conexión. %2</source>
        <translation>Server %1: not connected. %2</translation>
    </message>
    <message>
        <source>%1 registros pendientes de enviar.</source>
        <translation>%1 records waiting to be sent.</translation>
    </message>
    <message>
        <source>%1 registros de este ordenador pendientes de enviar.</source>
        <translation>%1 records of this computer waiting to be sent.</translation>
    </message>
    <message>
        <source>Exportar CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>CSV (*.csv)</source>
        <translation>CSV (*.csv)</translation>
    </message>
    <message>
        <source>Exportando…</source>
        <translation>Exporting…</translation>
    </message>
    <message>
        <source>Sin servidor: los registros se quedan en este ordenador.</source>
        <translation>No server: the records stay on this computer.</translation>
    </message>
    <message>
        <source>Probando la conexión…</source>
        <translation>Testing the connection…</translation>
    </message>
    <message>
        <source>No se ha guardado. </source>
        <translation>Not saved. </translation>
    </message>
    <message>
        <source>No se ha guardado: %1</source>
        <translation>Not saved: %1</translation>
    </message>
    <message>
        <source>Guardado en Lurn.conf.</source>
        <translation>Saved in Lurn.conf.</translation>
    </message>
    <message>
        <source>El del escritorio</source>
        <translation>The desktop&apos;s</translation>
    </message>
    <message>
        <source>(al volver a abrir Lurn)</source>
        <translation>(when Lurn is next opened)</translation>
    </message>
    <message>
        <source>Idioma</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Desde el día</source>
        <translation>From day</translation>
    </message>
    <message>
        <source>Hasta el día</source>
        <translation>To day</translation>
    </message>
    <message>
        <source>Puesto que mostrar</source>
        <translation>Station to show</translation>
    </message>
    <message>
        <source>Sesiones</source>
        <translation>Sessions</translation>
    </message>
    <message>
        <source>Nombre de este puesto</source>
        <translation>This station&apos;s name</translation>
    </message>
    <message>
        <source>%1 registros apartados: %2</source>
        <translation>%1 records set aside: %2</translation>
    </message>
    <message>
        <source>Sala: sin conexión. %1</source>
        <translation>Room: not connected. %1</translation>
    </message>
    <message>
        <source>Sala: conectado, con un problema: %1</source>
        <translation>Room: connected, with a problem: %1</translation>
    </message>
    <message>
        <source>Sala: conectado.</source>
        <translation>Room: connected.</translation>
    </message>
    <message>
        <source> %1 con datos dudosos, sin sumar.</source>
        <translation> %1 with doubtful data, not added.</translation>
    </message>
</context>
<context>
    <name>RoomCommand</name>
    <message>
        <source>Iniciar %1: %2:%3:%4, Tarifa %5, aviso %6 min</source>
        <translation>Start %1: %2:%3:%4, Rate %5, warning %6 min</translation>
    </message>
    <message>
        <source>Añadir %1%2 min a %3</source>
        <translation>Add %1%2 min to %3</translation>
    </message>
    <message>
        <source>Parar %1</source>
        <translation>Stop %1</translation>
    </message>
    <message>
        <source>Mensaje a %1: «%2»</source>
        <translation>Message to %1: “%2”</translation>
    </message>
    <message>
        <source>Número inválido</source>
        <translation>Invalid number</translation>
    </message>
    <message>
        <source>Fuera de rango</source>
        <translation>Out of range</translation>
    </message>
</context>
<context>
    <name>RoomModel</name>
    <message>
        <source>Puesto</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>Estado</source>
        <translation>State</translation>
    </message>
    <message>
        <source>Tiempo restante</source>
        <translation>Time left</translation>
    </message>
    <message>
        <source>Coste</source>
        <translation>Cost</translation>
    </message>
    <message>
        <source>Tarifa/hora</source>
        <translation>Rate/hour</translation>
    </message>
    <message>
        <source>Inicio</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Caja hoy</source>
        <translation>Takings today</translation>
    </message>
    <message>
        <source>dudoso</source>
        <translation>doubtful</translation>
    </message>
    <message>
        <source>%1 + dudoso</source>
        <translation>%1 + doubtful</translation>
    </message>
    <message>
        <source>Sesiones de hoy con un importe o un final fuera de rango: %1. No se suman en la caja.</source>
        <translation>Today&apos;s sessions with an amount or an end out of range: %1. They are not added to the takings.</translation>
    </message>
    <message>
        <source>El puesto escribió valores fuera de rango (%1): no se muestran ni se suman.</source>
        <translation>The station wrote values out of range (%1): they are neither shown nor added.</translation>
    </message>
</context>
<context>
    <name>RoomWorker</name>
    <message>
        <source>La dirección del servidor no es válida: %1</source>
        <translation>The server address is not valid: %1</translation>
    </message>
    <message>
        <source>Falta el controlador de PostgreSQL de Qt (libqt6sql6-psql)</source>
        <translation>Qt&apos;s PostgreSQL driver is missing (libqt6sql6-psql)</translation>
    </message>
    <message>
        <source>sin conexión con el servidor</source>
        <translation>no connection to the server</translation>
    </message>
    <message>
        <source>El rol de este PC no tiene permiso en el servidor (%1)</source>
        <translation>This PC&apos;s role has no permission on the server (%1)</translation>
    </message>
    <message>
        <source>El servidor aún no tiene las tablas de la sala: ningún puesto de esta versión se ha conectado todavía (%1)</source>
        <translation>The server does not have the room&apos;s tables yet: no station of this version has connected so far (%1)</translation>
    </message>
    <message>
        <source>No se puede conectar con el servidor: %1</source>
        <translation>Cannot connect to the server: %1</translation>
    </message>
    <message>
        <source>Error del servidor: %1</source>
        <translation>Server error: %1</translation>
    </message>
    <message>
        <source>no se pudo guardar dentro de sus %1 s de validez; ya no se enviará</source>
        <translation>could not be stored within its %1 s of validity; it will not be sent</translation>
    </message>
    <message>
        <source>El servidor no contesta a tiempo (¿una tabla bloqueada?): %1</source>
        <translation>The server does not answer in time (a locked table?): %1</translation>
    </message>
</context>
<context>
    <name>ServerAddress</name>
    <message>
        <source>La dirección debe empezar por postgresql:// (por ejemplo postgresql://lurn@caja.local/cafe).</source>
        <translation>The address must begin with postgresql:// (for example postgresql://lurn@caja.local/cafe).</translation>
    </message>
    <message>
        <source>La contraseña no va en la dirección: póngala en ~/.pgpass o en PGPASSWORD.</source>
        <translation>The password does not go in the address: put it in ~/.pgpass or in PGPASSWORD.</translation>
    </message>
    <message>
        <source>El usuario de la dirección tiene un código % no válido.</source>
        <translation>The address&apos;s user holds an invalid % code.</translation>
    </message>
    <message>
        <source>Falta el ] de una dirección IPv6.</source>
        <translation>An IPv6 address lacks its ].</translation>
    </message>
    <message>
        <source>Sobra texto tras una dirección IPv6.</source>
        <translation>There is text left after an IPv6 address.</translation>
    </message>
    <message>
        <source>El servidor de la dirección tiene un código % no válido.</source>
        <translation>The address&apos;s server holds an invalid % code.</translation>
    </message>
    <message>
        <source>El puerto «%1» no es un número.</source>
        <translation>The port “%1” is not a number.</translation>
    </message>
    <message>
        <source>La base de datos de la dirección tiene un código % no válido.</source>
        <translation>The address&apos;s database holds an invalid % code.</translation>
    </message>
    <message>
        <source>El parámetro «%1» no tiene valor.</source>
        <translation>The parameter “%1” has no value.</translation>
    </message>
    <message>
        <source>El parámetro «%1» no es válido.</source>
        <translation>The parameter “%1” is not valid.</translation>
    </message>
    <message>
        <source>El parámetro «%1» no puede llevar «;».</source>
        <translation>The parameter “%1” cannot hold “;”.</translation>
    </message>
    <message>
        <source>La dirección no puede llevar «;».</source>
        <translation>The address cannot hold “;”.</translation>
    </message>
</context>
<context>
    <name>ServiceCommandLine</name>
    <message>
        <source>opción desconocida %1</source>
        <translation>unknown option %1</translation>
    </message>
    <message>
        <source>Uso: lurnd [--version | --help]
El servicio del puesto: la cuenta atrás, los registros de sesiones y el enlace con el mostrador, en manos del sistema.
Sin opciones atiende en el bus del sistema como org.lurn.Station.
  --version   muestra la versión
  --help      muestra esta ayuda
</source>
        <translation>Usage: lurnd [--version | --help]
The station&apos;s service: the countdown, the session records and the link with the counter, in the system&apos;s hands.
Without options it serves on the system bus as org.lurn.Station.
  --version   shows the version
  --help      shows this help
</translation>
    </message>
</context>
<context>
    <name>SessionRecord</name>
    <message>
        <source>En curso</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>Tiempo agotado</source>
        <translation>Time up</translation>
    </message>
    <message>
        <source>Parada</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>Programa cerrado</source>
        <translation>Program closed</translation>
    </message>
    <message>
        <source>Interrumpida</source>
        <translation>Interrupted</translation>
    </message>
</context>
<context>
    <name>StartDialog</name>
    <message>
        <source>Cancelar</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Iniciar %1</source>
        <translation>Start %1</translation>
    </message>
    <message>
        <source>Horas</source>
        <translation>Hours</translation>
    </message>
    <message>
        <source>Minutos</source>
        <translation>Minutes</translation>
    </message>
    <message>
        <source>Segundos</source>
        <translation>Seconds</translation>
    </message>
    <message>
        <source>Aviso minutos antes</source>
        <translation>Warning minutes before</translation>
    </message>
    <message>
        <source>Tarifa &amp;1</source>
        <translation>Rate &amp;1</translation>
    </message>
    <message>
        <source>Tarifa &amp;2</source>
        <translation>Rate &amp;2</translation>
    </message>
    <message>
        <source>&amp;Horas</source>
        <translation>&amp;Hours</translation>
    </message>
    <message>
        <source>&amp;Minutos</source>
        <translation>&amp;Minutes</translation>
    </message>
    <message>
        <source>&amp;Segundos</source>
        <translation>&amp;Seconds</translation>
    </message>
    <message>
        <source>Tarifa</source>
        <translation>Rate</translation>
    </message>
    <message>
        <source>&amp;Aviso (minutos antes)</source>
        <translation>&amp;Warning (minutes before)</translation>
    </message>
    <message>
        <source>Iniciar</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>El tiempo no puede ser cero</source>
        <translation>The time cannot be zero</translation>
    </message>
</context>
<context>
    <name>StationStatus</name>
    <message>
        <source>Libre</source>
        <translation>Free</translation>
    </message>
    <message>
        <source>En uso</source>
        <translation>In use</translation>
    </message>
    <message>
        <source>Aviso</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>Tiempo agotado</source>
        <translation>Time up</translation>
    </message>
    <message>
        <source>Parado</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>Sin conexión</source>
        <translation>Offline</translation>
    </message>
    <message>
        <source>Desconocido</source>
        <translation>Unknown</translation>
    </message>
</context>
<context>
    <name>TakingsChart</name>
    <message>
        <source>Recaudación por día</source>
        <translation>Takings per day</translation>
    </message>
    <message>
        <source>Recaudación por día (suma de los puestos; elija un puesto o menos días para verlos por separado)</source>
        <translation>Takings per day (the stations added up; choose one station or fewer days to see them apart)</translation>
    </message>
    <message>
        <source>Todos</source>
        <translation>All</translation>
    </message>
</context>
<context>
    <name>TfmAviso</name>
    <message>
        <source>Aviso</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>Queda/n</source>
        <translation>Time left</translation>
    </message>
    <message>
        <source>Avisa al administrador</source>
        <translation>Call the attendant</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TfmDemanaClau</name>
    <message>
        <source>Clave</source>
        <translation>Locked</translation>
    </message>
    <message>
        <source>Clave de acceso :</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Clave de acceso</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>Lurn está bloqueado: escriba la clave para volver</source>
        <translation>Lurn is locked: type the password to go back</translation>
    </message>
</context>
<context>
    <name>TfmFer</name>
    <message>
        <source>Número inválido</source>
        <translation>Invalid number</translation>
    </message>
    <message>
        <source>Fuera de rango</source>
        <translation>Out of range</translation>
    </message>
    <message>
        <source>Las claves no coinciden</source>
        <translation>The passwords do not match</translation>
    </message>
    <message>
        <source>Clave no admitida</source>
        <translation>Password not accepted</translation>
    </message>
    <message>
        <source>Queda/n %1 minutos</source>
        <translation>%1 minute(s) left</translation>
    </message>
    <message>
        <source>Añadir</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Eliminar</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>&amp;Iniciar</source>
        <translation>&amp;Start</translation>
    </message>
    <message>
        <source>&amp;Parar</source>
        <translation>Sto&amp;p</translation>
    </message>
    <message>
        <source>Ver tiempo</source>
        <translation>Show time</translation>
    </message>
    <message>
        <source>Tarifa (pts/hora):</source>
        <translation>Rate (pts/hour):</translation>
    </message>
    <message>
        <source>Tarifa 1</source>
        <translation>Rate 1</translation>
    </message>
    <message>
        <source>Tarifa 2</source>
        <translation>Rate 2</translation>
    </message>
    <message>
        <source>Lleva gastado :</source>
        <translation>Spent so far:</translation>
    </message>
    <message>
        <source>&amp;Continuar</source>
        <translation>&amp;Continue</translation>
    </message>
    <message>
        <source>Programas a terminar :</source>
        <translation>Programs to end:</translation>
    </message>
    <message>
        <source>Cuenta atrás :</source>
        <translation>Countdown:</translation>
    </message>
    <message>
        <source>Horas</source>
        <translation>Hours</translation>
    </message>
    <message>
        <source>Minutos</source>
        <translation>Minutes</translation>
    </message>
    <message>
        <source>Segundos</source>
        <translation>Seconds</translation>
    </message>
    <message>
        <source>Avisar </source>
        <translation>Warn </translation>
    </message>
    <message>
        <source>minutos antes</source>
        <translation>min. before</translation>
    </message>
    <message>
        <source>(0 si no hay que avisar)</source>
        <translation>(0 for no warning)</translation>
    </message>
    <message>
        <source>que queda</source>
        <translation>left</translation>
    </message>
    <message>
        <source>Para añadir tiempo</source>
        <translation>To add time,</translation>
    </message>
    <message>
        <source>ampliar estas cifras</source>
        <translation>raise these figures</translation>
    </message>
    <message>
        <source>y darle al tabulador</source>
        <translation>and press Tab</translation>
    </message>
    <message>
        <source>Clave :</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>Repetir clave :</source>
        <translation>Password again:</translation>
    </message>
    <message>
        <source>Hecho con cariño por</source>
        <translation>Made with love by</translation>
    </message>
    <message>
        <source>los de Lurn</source>
        <translation>the Lurn people</translation>
    </message>
    <message>
        <source>Versión 1.0</source>
        <translation>Version 1.0</translation>
    </message>
    <message>
        <source>Dudas y avisos:</source>
        <translation>Questions, reports:</translation>
    </message>
    <message>
        <source>(responde en días)</source>
        <translation>(answers in days)</translation>
    </message>
    <message>
        <source>Registro</source>
        <translation>Records</translation>
    </message>
    <message>
        <source>Registro de sesiones (Ctrl+R)</source>
        <translation>Session records (Ctrl+R)</translation>
    </message>
    <message>
        <source>no se puede leer su archivo</source>
        <translation>its file cannot be read</translation>
    </message>
    <message>
        <source>su archivo está vacío</source>
        <translation>its file is empty</translation>
    </message>
    <message>
        <source>su archivo está incompleto o dañado</source>
        <translation>its file is incomplete or damaged</translation>
    </message>
    <message>
        <source>La cuenta atrás que estaba en marcha se ha recuperado, pero el reloj del equipo va por detrás de la última vez que se guardó (¿pila agotada o corte de luz?): el tiempo que el equipo estuvo apagado no se ha podido medir y no se ha contado. Compruebe la hora del equipo.</source>
        <translation>The countdown that was running has been taken up, but the computer&apos;s clock is behind the last time it was saved (a flat battery or a power cut?): the time the computer was off could not be measured and has not been counted. Check the computer&apos;s time.</translation>
    </message>
    <message>
        <source>su archivo lleva una hora posterior a la actual (¿se ha cambiado la hora del equipo?)</source>
        <translation>its file bears a time later than now (has the computer&apos;s time been changed?)</translation>
    </message>
    <message>
        <source>La cuenta atrás que estaba en marcha no se ha podido recuperar: %1.</source>
        <translation>The countdown that was running could not be taken up: %1.</translation>
    </message>
    <message>
        <source> El archivo se ha guardado aparte en «%1».</source>
        <translation> The file has been kept aside as “%1”.</translation>
    </message>
    <message>
        <source>Programas a terminar</source>
        <translation>Programs to end</translation>
    </message>
    <message>
        <source>Programa que añadir a la lista</source>
        <translation>Program to add to the list</translation>
    </message>
    <message>
        <source>Minutos de aviso antes del final</source>
        <translation>Minutes of warning before the end</translation>
    </message>
    <message>
        <source>Ver tiempo que queda</source>
        <translation>Show time left</translation>
    </message>
    <message>
        <source>Importe de la tarifa 1 (pts/hora)</source>
        <translation>Amount of rate 1 (pts/hour)</translation>
    </message>
    <message>
        <source>Importe de la tarifa 2 (pts/hora)</source>
        <translation>Amount of rate 2 (pts/hour)</translation>
    </message>
    <message>
        <source>Clave</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>Repetir clave</source>
        <translation>Repeat password</translation>
    </message>
    <message>
        <source>Registro de sesiones</source>
        <translation>Session records</translation>
    </message>
    <message>
        <source>En la barra de tareas</source>
        <translation>In the task bar</translation>
    </message>
    <message>
        <source>Lleva gastado</source>
        <translation>Spent so far</translation>
    </message>
    <message>
        <source>Tarifa</source>
        <translation>Rate</translation>
    </message>
    <message>
        <source>La cuenta atrás que estaba en marcha se ha recuperado, pero el reloj del equipo va más de un día por delante de la última vez que se guardó (¿hora mal puesta o un corte de luz muy largo?): la cuenta atrás se ha dado por terminada y se cobra su duración completa. Compruebe la hora del equipo.</source>
        <translation>The countdown that was running has been taken up, but the computer&apos;s clock is more than a day ahead of the last time it was saved (a wrongly set time or a very long power cut?): the countdown has been ended and its full length is charged. Check the computer&apos;s time.</translation>
    </message>
</context>
<context>
    <name>WindowSourceChoice</name>
    <message>
        <source>Lo que responde en el bus de la sesión como extensión de GNOME Shell de Lurn no es la extensión instalada con Lurn (puede ser una copia del usuario, en ~/.local/share/gnome-shell/extensions, o de otro programa): al acabar el tiempo solo se cerrarán los programas X11, no los programas Wayland nativos. Borre la copia del usuario, salga de la sesión y vuelva a entrar. Vea «GNOME Shell» en %1.</source>
        <translation>What answers on the session bus as Lurn&apos;s GNOME Shell extension is not the extension installed with Lurn (it may be a copy of the user&apos;s, in ~/.local/share/gnome-shell/extensions, or another program&apos;s): when the time is up only X11 programs will be closed, not native Wayland programs. Delete the user&apos;s copy, log out and log in again. See “GNOME Shell” in %1.</translation>
    </message>
    <message>
        <source>La extensión de GNOME Shell de Lurn instalada no es de esta versión de Lurn: al acabar el tiempo solo se cerrarán los programas X11, no los programas Wayland nativos. Instale la misma versión de Lurn y de su extensión y vuelva a entrar en la sesión. Vea «GNOME Shell» en %1.</source>
        <translation>The installed GNOME Shell extension of Lurn is not of this version of Lurn: when the time is up only X11 programs will be closed, not native Wayland programs. Install the same version of Lurn and of its extension and log in again. See “GNOME Shell” in %1.</translation>
    </message>
    <message>
        <source>En GNOME, Lurn solo puede cerrar los programas Wayland nativos con su extensión de GNOME Shell, que no está activa: al acabar el tiempo solo se cerrarán los programas X11. Actívela con «gnome-extensions enable %2» (GNOME 43 y 44) o «gnome-extensions enable lurn-windows-45@lurn» (GNOME 45 a 49) (si acaba de instalarse, salga antes de la sesión y vuelva a entrar) y abra Lurn de nuevo. Vea «GNOME Shell» en %1.</source>
        <translation>On GNOME, Lurn can close native Wayland programs only with its GNOME Shell extension, which is not active: when the time is up only X11 programs will be closed. Turn it on with “gnome-extensions enable %2” (GNOME 43 and 44) or “gnome-extensions enable lurn-windows-45@lurn” (GNOME 45 to 49) (if it has just been installed, log out and in again first) and open Lurn again. See “GNOME Shell” in %1.</translation>
    </message>
    <message>
        <source>KWin no concede a Lurn la lista de ventanas: al acabar el tiempo solo se cerrarán los programas X11, no los programas Wayland nativos. Inicie Lurn desde su entrada instalada (lurn.desktop con X-KDE-Wayland-Interfaces). Vea «Wayland desktops» en %1.</source>
        <translation>KWin does not give Lurn the list of windows: when the time is up only X11 programs will be closed, not native Wayland programs. Start Lurn from its installed entry (lurn.desktop with X-KDE-Wayland-Interfaces). See “Wayland desktops” in %1.</translation>
    </message>
    <message>
        <source>Este escritorio Wayland no deja a Lurn ver las ventanas de los demás programas: al acabar el tiempo solo se cerrarán los programas X11, no los programas Wayland nativos. Vea «Wayland desktops» en %1.</source>
        <translation>This Wayland desktop does not let Lurn see the other programs&apos; windows: when the time is up only X11 programs will be closed, not native Wayland programs. See “Wayland desktops” in %1.</translation>
    </message>
</context>
<context>
    <name>WindowSources</name>
    <message>
        <source>Lurn no ha podido abrir la lista de ventanas del escritorio: al acabar el tiempo solo se cerrarán los programas X11. Vea «Wayland desktops» en %1.</source>
        <translation>Lurn could not open the desktop&apos;s list of windows: when the time is up only X11 programs will be closed. See “Wayland desktops” in %1.</translation>
    </message>
</context>
</TS>
