<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ca" sourcelanguage="es">
<context>
    <name>ChartModule</name>
    <message>
        <source>El gráfico no está disponible: </source>
        <translation>El gràfic no està disponible: </translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>opción desconocida %1</source>
        <translation>opció desconeguda %1</translation>
    </message>
    <message>
        <source>Uso: lurn [--diagnose | --report | --console | --version | --help]
  --diagnose  muestra cómo llega Lurn a las ventanas de los otros programas en este escritorio
  --report    abre solo el informe de los registros de sesiones (sin cuenta atrás ni bloqueo)
  --console   abre «Sala», la vista en directo de todos los puestos para el mostrador
  --version   muestra la versión
</source>
        <translation>Ús: lurn [--diagnose | --report | --console | --version | --help]
  --diagnose  mostra com arriba Lurn a les finestres dels altres programes en aquest escriptori
  --report    obre només l&apos;informe del registre de sessions (sense compte enrere ni bloqueig)
  --console   obre «Sala», la vista en directe de tots els llocs per al taulell
  --version   mostra la versió
</translation>
    </message>
</context>
<context>
    <name>CommandLog</name>
    <message>
        <source>Órdenes enviadas</source>
        <translation>Ordres enviades</translation>
    </message>
    <message>
        <source>enviado</source>
        <translation>enviada</translation>
    </message>
    <message>
        <source>no enviado: %1</source>
        <translation>no enviada: %1</translation>
    </message>
    <message>
        <source>hecho</source>
        <translation>feta</translation>
    </message>
    <message>
        <source>rechazado: %1</source>
        <translation>rebutjada: %1</translation>
    </message>
    <message>
        <source>caducado</source>
        <translation>caducada</translation>
    </message>
</context>
<context>
    <name>ConsoleWindow</name>
    <message>
        <source>Sala</source>
        <translation>Sala</translation>
    </message>
    <message>
        <source>Conectando con el servidor…</source>
        <translation>S&apos;està connectant amb el servidor…</translation>
    </message>
    <message>
        <source>Puestos</source>
        <translation>Llocs</translation>
    </message>
    <message>
        <source>&amp;Iniciar…</source>
        <translation>&amp;Inicia…</translation>
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
        <translation>Minuts a afegir</translation>
    </message>
    <message>
        <source>minutos</source>
        <translation>minuts</translation>
    </message>
    <message>
        <source>Añadir &amp;tiempo</source>
        <translation>Afegeix &amp;temps</translation>
    </message>
    <message>
        <source>&amp;Parar</source>
        <translation>&amp;Atura</translation>
    </message>
    <message>
        <source>&amp;Mensaje…</source>
        <translation>&amp;Missatge…</translation>
    </message>
    <message>
        <source>Caja de hoy: %1</source>
        <translation>Caixa d&apos;avui: %1</translation>
    </message>
    <message>
        <source>Conectado con el servidor.</source>
        <translation>Connectat amb el servidor.</translation>
    </message>
    <message>
        <source>Fuera de rango</source>
        <translation>Fora de límits</translation>
    </message>
    <message>
        <source>Minutos a añadir: %1</source>
        <translation>Minuts a afegir: %1</translation>
    </message>
    <message>
        <source>Órdenes enviadas</source>
        <translation>Ordres enviades</translation>
    </message>
    <message>
        <source>Caja de hoy: %1, sin datos dudosos</source>
        <translation>Caixa d&apos;avui: %1, sense dades dubtoses</translation>
    </message>
    <message>
        <source>Datos dudosos de: %1</source>
        <translation>Dades dubtoses de: %1</translation>
    </message>
</context>
<context>
    <name>MessageBoxes</name>
    <message>
        <source>OK</source>
        <translation>D&apos;acord</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Informació</translation>
    </message>
</context>
<context>
    <name>MessageDialog</name>
    <message>
        <source>Mensaje a %1</source>
        <translation>Missatge a %1</translation>
    </message>
    <message>
        <source>Mensaje</source>
        <translation>Missatge</translation>
    </message>
    <message>
        <source>Enviar</source>
        <translation>Envia</translation>
    </message>
    <message>
        <source>Texto que verá el cliente:</source>
        <translation>Text que veurà el client:</translation>
    </message>
</context>
<context>
    <name>RecordSending</name>
    <message>
        <source>No se pueden leer en este equipo los registros pendientes</source>
        <translation>No es poden llegir en aquest equip els registres pendents</translation>
    </message>
    <message>
        <source>No se puede apartar en este equipo un registro ilegible</source>
        <translation>No es pot apartar en aquest equip un registre il·legible</translation>
    </message>
    <message>
        <source>No se puede apartar en este equipo un registro rechazado</source>
        <translation>No es pot apartar en aquest equip un registre rebutjat</translation>
    </message>
    <message>
        <source>Enviado, pero no se puede anotar en este equipo</source>
        <translation>Enviat, però no es pot anotar en aquest equip</translation>
    </message>
</context>
<context>
    <name>RecordStore</name>
    <message>
        <source>El archivo no es un registro de Lurn; no se ha tocado.</source>
        <translation>El fitxer no és un registre de Lurn; no s&apos;ha tocat.</translation>
    </message>
    <message>
        <source>El registro es de una versión más nueva de Lurn; no se ha tocado.</source>
        <translation>El registre és d&apos;una versió més nova de Lurn; no s&apos;ha tocat.</translation>
    </message>
    <message>
        <source>No se pudo guardar el registro (¿disco lleno?); se reintentará.</source>
        <translation>No s&apos;ha pogut desar el registre (disc ple?); es tornarà a intentar.</translation>
    </message>
    <message>
        <source>La dirección del servidor no es válida.</source>
        <translation>L&apos;adreça del servidor no és vàlida.</translation>
    </message>
    <message>
        <source>No se puede conectar con el servidor.</source>
        <translation>No es pot connectar amb el servidor.</translation>
    </message>
    <message>
        <source>El servidor rechaza la conexión: usuario o contraseña incorrectos (la contraseña va en ~/.pgpass o en PGPASSWORD).</source>
        <translation>El servidor rebutja la connexió: usuari o contrasenya incorrectes (la contrasenya va a ~/.pgpass o a PGPASSWORD).</translation>
    </message>
    <message>
        <source>La base de datos no existe en el servidor.</source>
        <translation>La base de dades no existeix al servidor.</translation>
    </message>
    <message>
        <source>El usuario no tiene permiso para crear o escribir la tabla sessions.</source>
        <translation>L&apos;usuari no té permís per crear o escriure la taula sessions.</translation>
    </message>
    <message>
        <source>Error en el registro.</source>
        <translation>Error en el registre.</translation>
    </message>
    <message>
        <source>No se puede abrir el archivo de registros por ahora (bloqueado, ocupado o sin recursos); se reintentará.</source>
        <translation>Ara mateix no es pot obrir el fitxer de registres (bloquejat, ocupat o sense recursos); es tornarà a provar.</translation>
    </message>
    <message>
        <source>El servidor rechaza este registro.</source>
        <translation>El servidor rebutja aquest registre.</translation>
    </message>
</context>
<context>
    <name>RecordsSettings</name>
    <message>
        <source>El nombre del puesto pasa de %1 caracteres.</source>
        <translation>El nom del lloc passa de %1 caràcters.</translation>
    </message>
    <message>
        <source>El nombre del puesto lleva caracteres que no se pueden mostrar.</source>
        <translation>El nom del lloc porta caràcters que no es poden mostrar.</translation>
    </message>
</context>
<context>
    <name>ReportData</name>
    <message>
        <source>Puesto,Inicio,Fin,Minutos,Tarifa por hora,Importe,Final</source>
        <translation>Lloc,Inici,Fi,Minuts,Tarifa per hora,Import,Final</translation>
    </message>
</context>
<context>
    <name>ReportLoader</name>
    <message>
        <source>Servidor %1 (todos los puestos): conectado.</source>
        <translation>Servidor %1 (tots els llocs): connectat.</translation>
    </message>
    <message>
        <source>Aún no hay registros en este ordenador (%1).</source>
        <translation>Encara no hi ha registres en aquest ordinador (%1).</translation>
    </message>
    <message>
        <source>Registros de este ordenador: %1.</source>
        <translation>Registres d&apos;aquest ordinador: %1.</translation>
    </message>
    <message>
        <source>Se muestran solo los registros de este ordenador: %1.</source>
        <translation>Només es mostren els registres d&apos;aquest ordinador: %1.</translation>
    </message>
    <message>
        <source>Conexión correcta: la tabla sessions está lista (%1 puestos con registros).</source>
        <translation>Connexió correcta: la taula sessions està a punt (%1 llocs amb registres).</translation>
    </message>
</context>
<context>
    <name>ReportModel</name>
    <message>
        <source>Puesto</source>
        <translation>Lloc</translation>
    </message>
    <message>
        <source>Inicio</source>
        <translation>Inici</translation>
    </message>
    <message>
        <source>Fin</source>
        <translation>Fi</translation>
    </message>
    <message>
        <source>Minutos</source>
        <translation>Minuts</translation>
    </message>
    <message>
        <source>Tarifa/hora</source>
        <translation>Tarifa/hora</translation>
    </message>
    <message>
        <source>Importe</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>Final</source>
        <translation>Final</translation>
    </message>
    <message>
        <source>El puesto escribió valores fuera de rango (%1): la sesión no se suma en los totales.</source>
        <translation>El lloc va escriure valors fora de rang (%1): la sessió no se suma als totals.</translation>
    </message>
    <message>
        <source>dudoso</source>
        <translation>dubtós</translation>
    </message>
    <message>
        <source>%1 (dudoso)</source>
        <translation>%1 (dubtós)</translation>
    </message>
</context>
<context>
    <name>ReportWindow</name>
    <message>
        <source>Registro</source>
        <translation>Registre</translation>
    </message>
    <message>
        <source>Exportadas %1 sesiones a %2.</source>
        <translation>S&apos;han exportat %1 sessions a %2.</translation>
    </message>
    <message>
        <source>No se pudo exportar a %1: %2</source>
        <translation>No s&apos;ha pogut exportar a %1: %2</translation>
    </message>
    <message>
        <source>Todos</source>
        <translation>Tots</translation>
    </message>
    <message>
        <source>Hoy</source>
        <translation>Avui</translation>
    </message>
    <message>
        <source>Este mes</source>
        <translation>Aquest mes</translation>
    </message>
    <message>
        <source>Este año</source>
        <translation>Aquest any</translation>
    </message>
    <message>
        <source>Exportar CSV…</source>
        <translation>Exporta a CSV…</translation>
    </message>
    <message>
        <source>Sala…</source>
        <translation>Sala…</translation>
    </message>
    <message>
        <source>Desde</source>
        <translation>Des de</translation>
    </message>
    <message>
        <source>Hasta</source>
        <translation>Fins a</translation>
    </message>
    <message>
        <source>Puesto</source>
        <translation>Lloc</translation>
    </message>
    <message>
        <source>Origen de los registros</source>
        <translation>Origen dels registres</translation>
    </message>
    <message>
        <source>vacío: solo este ordenador; p. ej. postgresql://lurn@caja.local/cafe</source>
        <translation>buit: només aquest ordinador; p. ex. postgresql://lurn@caja.local/cafe</translation>
    </message>
    <message>
        <source>Probar conexión</source>
        <translation>Prova la connexió</translation>
    </message>
    <message>
        <source>Guardar</source>
        <translation>Desa</translation>
    </message>
    <message>
        <source>Ajustes del registro</source>
        <translation>Configuració del registre</translation>
    </message>
    <message>
        <source>Servidor</source>
        <translation>Servidor</translation>
    </message>
    <message>
        <source>Cargando…</source>
        <translation>S&apos;està carregant…</translation>
    </message>
    <message>
        <source>Total: %1 sesiones, %2 minutos, importe %3.</source>
        <translation>Total: %1 sessions, %2 minuts, import %3.</translation>
    </message>
    <message>
        <source>  Por puesto: </source>
        <translation>  Per lloc: </translation>
    </message>
    <message>
        <source>Este puesto guarda sus registros en %1.</source>
        <translation>Aquest lloc desa els seus registres a %1.</translation>
    </message>
    <message>
        <source>Servidor %1: conectando…</source>
        <translation>Servidor %1: s&apos;està connectant…</translation>
    </message>
    <message>
        <source>Servidor %1: conectado.</source>
        <translation>Servidor %1: connectat.</translation>
    </message>
    <message>
        <source>Servidor %1: sin conexión. %2</source>
        <translation>Servidor %1: sense connexió. %2</translation>
    </message>
    <message>
        <source>%1 registros pendientes de enviar.</source>
        <translation>%1 registres pendents d&apos;enviar.</translation>
    </message>
    <message>
        <source>%1 registros de este ordenador pendientes de enviar.</source>
        <translation>%1 registres d&apos;aquest ordinador pendents d&apos;enviar.</translation>
    </message>
    <message>
        <source>Exportar CSV</source>
        <translation>Exporta a CSV</translation>
    </message>
    <message>
        <source>CSV (*.csv)</source>
        <translation>CSV (*.csv)</translation>
    </message>
    <message>
        <source>Exportando…</source>
        <translation>S&apos;està exportant…</translation>
    </message>
    <message>
        <source>Sin servidor: los registros se quedan en este ordenador.</source>
        <translation>Sense servidor: els registres es queden en aquest ordinador.</translation>
    </message>
    <message>
        <source>Probando la conexión…</source>
        <translation>S&apos;està provant la connexió…</translation>
    </message>
    <message>
        <source>No se ha guardado. </source>
        <translation>No s&apos;ha desat. </translation>
    </message>
    <message>
        <source>No se ha guardado: %1</source>
        <translation>No s&apos;ha desat: %1</translation>
    </message>
    <message>
        <source>Guardado en Lurn.conf.</source>
        <translation>Desat a Lurn.conf.</translation>
    </message>
    <message>
        <source>El del escritorio</source>
        <translation>El de l&apos;escriptori</translation>
    </message>
    <message>
        <source>(al volver a abrir Lurn)</source>
        <translation>(en tornar a obrir Lurn)</translation>
    </message>
    <message>
        <source>Idioma</source>
        <translation>Idioma</translation>
    </message>
    <message>
        <source>Desde el día</source>
        <translation>Des del dia</translation>
    </message>
    <message>
        <source>Hasta el día</source>
        <translation>Fins al dia</translation>
    </message>
    <message>
        <source>Puesto que mostrar</source>
        <translation>Lloc que cal mostrar</translation>
    </message>
    <message>
        <source>Sesiones</source>
        <translation>Sessions</translation>
    </message>
    <message>
        <source>Nombre de este puesto</source>
        <translation>Nom d&apos;aquest lloc</translation>
    </message>
    <message>
        <source>%1 registros apartados: %2</source>
        <translation>%1 registres apartats: %2</translation>
    </message>
    <message>
        <source>Sala: sin conexión. %1</source>
        <translation>Sala: sense connexió. %1</translation>
    </message>
    <message>
        <source>Sala: conectado, con un problema: %1</source>
        <translation>Sala: connectat, amb un problema: %1</translation>
    </message>
    <message>
        <source>Sala: conectado.</source>
        <translation>Sala: connectat.</translation>
    </message>
    <message>
        <source> %1 con datos dudosos, sin sumar.</source>
        <translation> %1 amb dades dubtoses, sense sumar.</translation>
    </message>
</context>
<context>
    <name>RoomCommand</name>
    <message>
        <source>Iniciar %1: %2:%3:%4, Tarifa %5, aviso %6 min</source>
        <translation>Inicia %1: %2:%3:%4, Tarifa %5, avís %6 min</translation>
    </message>
    <message>
        <source>Añadir %1%2 min a %3</source>
        <translation>Afegeix %1%2 min a %3</translation>
    </message>
    <message>
        <source>Parar %1</source>
        <translation>Atura %1</translation>
    </message>
    <message>
        <source>Mensaje a %1: «%2»</source>
        <translation>Missatge a %1: «%2»</translation>
    </message>
    <message>
        <source>Número inválido</source>
        <translation>Nombre no vàlid</translation>
    </message>
    <message>
        <source>Fuera de rango</source>
        <translation>Fora de límits</translation>
    </message>
</context>
<context>
    <name>RoomModel</name>
    <message>
        <source>Puesto</source>
        <translation>Lloc</translation>
    </message>
    <message>
        <source>Estado</source>
        <translation>Estat</translation>
    </message>
    <message>
        <source>Tiempo restante</source>
        <translation>Temps restant</translation>
    </message>
    <message>
        <source>Coste</source>
        <translation>Cost</translation>
    </message>
    <message>
        <source>Tarifa/hora</source>
        <translation>Tarifa/hora</translation>
    </message>
    <message>
        <source>Inicio</source>
        <translation>Inici</translation>
    </message>
    <message>
        <source>Caja hoy</source>
        <translation>Caixa avui</translation>
    </message>
    <message>
        <source>dudoso</source>
        <translation>dubtós</translation>
    </message>
    <message>
        <source>%1 + dudoso</source>
        <translation>%1 + dubtós</translation>
    </message>
    <message>
        <source>Sesiones de hoy con un importe o un final fuera de rango: %1. No se suman en la caja.</source>
        <translation>Sessions d&apos;avui amb un import o un final fora de rang: %1. No se sumen a la caixa.</translation>
    </message>
    <message>
        <source>El puesto escribió valores fuera de rango (%1): no se muestran ni se suman.</source>
        <translation>El lloc va escriure valors fora de rang (%1): no es mostren ni se sumen.</translation>
    </message>
</context>
<context>
    <name>RoomWorker</name>
    <message>
        <source>La dirección del servidor no es válida: %1</source>
        <translation>L&apos;adreça del servidor no és vàlida: %1</translation>
    </message>
    <message>
        <source>Falta el controlador de PostgreSQL de Qt (libqt6sql6-psql)</source>
        <translation>Hi falta el controlador de PostgreSQL de Qt (libqt6sql6-psql)</translation>
    </message>
    <message>
        <source>sin conexión con el servidor</source>
        <translation>sense connexió amb el servidor</translation>
    </message>
    <message>
        <source>El rol de este PC no tiene permiso en el servidor (%1)</source>
        <translation>El rol d&apos;aquest PC no té permís al servidor (%1)</translation>
    </message>
    <message>
        <source>El servidor aún no tiene las tablas de la sala: ningún puesto de esta versión se ha conectado todavía (%1)</source>
        <translation>El servidor encara no té les taules de la sala: encara no s&apos;hi ha connectat cap lloc d&apos;aquesta versió (%1)</translation>
    </message>
    <message>
        <source>No se puede conectar con el servidor: %1</source>
        <translation>No es pot connectar amb el servidor: %1</translation>
    </message>
    <message>
        <source>Error del servidor: %1</source>
        <translation>Error del servidor: %1</translation>
    </message>
    <message>
        <source>no se pudo guardar dentro de sus %1 s de validez; ya no se enviará</source>
        <translation>no s&apos;ha pogut desar dins dels seus %1 s de validesa; ja no s&apos;enviarà</translation>
    </message>
    <message>
        <source>El servidor no contesta a tiempo (¿una tabla bloqueada?): %1</source>
        <translation>El servidor no respon a temps (una taula bloquejada?): %1</translation>
    </message>
</context>
<context>
    <name>ServerAddress</name>
    <message>
        <source>La dirección debe empezar por postgresql:// (por ejemplo postgresql://lurn@caja.local/cafe).</source>
        <translation>L&apos;adreça ha de començar per postgresql:// (per exemple postgresql://lurn@caja.local/cafe).</translation>
    </message>
    <message>
        <source>La contraseña no va en la dirección: póngala en ~/.pgpass o en PGPASSWORD.</source>
        <translation>La contrasenya no va a l&apos;adreça: poseu-la a ~/.pgpass o a PGPASSWORD.</translation>
    </message>
    <message>
        <source>El usuario de la dirección tiene un código % no válido.</source>
        <translation>L&apos;usuari de l&apos;adreça té un codi % no vàlid.</translation>
    </message>
    <message>
        <source>Falta el ] de una dirección IPv6.</source>
        <translation>Hi falta el ] d&apos;una adreça IPv6.</translation>
    </message>
    <message>
        <source>Sobra texto tras una dirección IPv6.</source>
        <translation>Sobra text després d&apos;una adreça IPv6.</translation>
    </message>
    <message>
        <source>El servidor de la dirección tiene un código % no válido.</source>
        <translation>El servidor de l&apos;adreça té un codi % no vàlid.</translation>
    </message>
    <message>
        <source>El puerto «%1» no es un número.</source>
        <translation>El port «%1» no és un nombre.</translation>
    </message>
    <message>
        <source>La base de datos de la dirección tiene un código % no válido.</source>
        <translation>La base de dades de l&apos;adreça té un codi % no vàlid.</translation>
    </message>
    <message>
        <source>El parámetro «%1» no tiene valor.</source>
        <translation>El paràmetre «%1» no té valor.</translation>
    </message>
    <message>
        <source>El parámetro «%1» no es válido.</source>
        <translation>El paràmetre «%1» no és vàlid.</translation>
    </message>
    <message>
        <source>El parámetro «%1» no puede llevar «;».</source>
        <translation>El paràmetre «%1» no pot portar «;».</translation>
    </message>
    <message>
        <source>La dirección no puede llevar «;».</source>
        <translation>L&apos;adreça no pot portar «;».</translation>
    </message>
</context>
<context>
    <name>ServiceCommandLine</name>
    <message>
        <source>opción desconocida %1</source>
        <translation>opció desconeguda %1</translation>
    </message>
    <message>
        <source>Uso: lurnd [--version | --help]
El servicio del puesto: la cuenta atrás, los registros de sesiones y el enlace con el mostrador, en manos del sistema.
Sin opciones atiende en el bus del sistema como org.lurn.Station.
  --version   muestra la versión
  --help      muestra esta ayuda
</source>
        <translation>Ús: lurnd [--version | --help]
El servei del lloc: el compte enrere, els registres de sessions i l&apos;enllaç amb el taulell, en mans del sistema.
Sense opcions atén al bus del sistema com a org.lurn.Station.
  --version   mostra la versió
  --help      mostra aquesta ajuda
</translation>
    </message>
</context>
<context>
    <name>SessionRecord</name>
    <message>
        <source>En curso</source>
        <translation>En curs</translation>
    </message>
    <message>
        <source>Tiempo agotado</source>
        <translation>Temps esgotat</translation>
    </message>
    <message>
        <source>Parada</source>
        <translation>Aturada</translation>
    </message>
    <message>
        <source>Programa cerrado</source>
        <translation>Programa tancat</translation>
    </message>
    <message>
        <source>Interrumpida</source>
        <translation>Interrompuda</translation>
    </message>
</context>
<context>
    <name>StartDialog</name>
    <message>
        <source>Cancelar</source>
        <translation>Cancel·la</translation>
    </message>
    <message>
        <source>Iniciar %1</source>
        <translation>Inicia %1</translation>
    </message>
    <message>
        <source>Horas</source>
        <translation>Hores</translation>
    </message>
    <message>
        <source>Minutos</source>
        <translation>Minuts</translation>
    </message>
    <message>
        <source>Segundos</source>
        <translation>Segons</translation>
    </message>
    <message>
        <source>Aviso minutos antes</source>
        <translation>Avís minuts abans</translation>
    </message>
    <message>
        <source>Tarifa &amp;1</source>
        <translation>Tarifa &amp;1</translation>
    </message>
    <message>
        <source>Tarifa &amp;2</source>
        <translation>Tarifa &amp;2</translation>
    </message>
    <message>
        <source>&amp;Horas</source>
        <translation>&amp;Hores</translation>
    </message>
    <message>
        <source>&amp;Minutos</source>
        <translation>&amp;Minuts</translation>
    </message>
    <message>
        <source>&amp;Segundos</source>
        <translation>&amp;Segons</translation>
    </message>
    <message>
        <source>Tarifa</source>
        <translation>Tarifa</translation>
    </message>
    <message>
        <source>&amp;Aviso (minutos antes)</source>
        <translation>&amp;Avís (minuts abans)</translation>
    </message>
    <message>
        <source>Iniciar</source>
        <translation>Inicia</translation>
    </message>
    <message>
        <source>El tiempo no puede ser cero</source>
        <translation>El temps no pot ser zero</translation>
    </message>
</context>
<context>
    <name>StationStatus</name>
    <message>
        <source>Libre</source>
        <translation>Lliure</translation>
    </message>
    <message>
        <source>En uso</source>
        <translation>En ús</translation>
    </message>
    <message>
        <source>Aviso</source>
        <translation>Avís</translation>
    </message>
    <message>
        <source>Tiempo agotado</source>
        <translation>Temps esgotat</translation>
    </message>
    <message>
        <source>Parado</source>
        <translation>Aturat</translation>
    </message>
    <message>
        <source>Sin conexión</source>
        <translation>Sense connexió</translation>
    </message>
    <message>
        <source>Desconocido</source>
        <translation>Desconegut</translation>
    </message>
</context>
<context>
    <name>TakingsChart</name>
    <message>
        <source>Recaudación por día</source>
        <translation>Recaptació per dia</translation>
    </message>
    <message>
        <source>Recaudación por día (suma de los puestos; elija un puesto o menos días para verlos por separado)</source>
        <translation>Recaptació per dia (suma dels llocs; trieu un lloc o menys dies per veure&apos;ls per separat)</translation>
    </message>
    <message>
        <source>Todos</source>
        <translation>Tots</translation>
    </message>
</context>
<context>
    <name>TfmAviso</name>
    <message>
        <source>Aviso</source>
        <translation>Avís</translation>
    </message>
    <message>
        <source>Queda/n</source>
        <translation>Queda/en</translation>
    </message>
    <message>
        <source>Avisa al administrador</source>
        <translation>Avisa l&apos;encarregat</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>D&apos;acord</translation>
    </message>
</context>
<context>
    <name>TfmDemanaClau</name>
    <message>
        <source>Clave</source>
        <translation>Clau</translation>
    </message>
    <message>
        <source>Clave de acceso :</source>
        <translation>Clau d&apos;accés:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>D&apos;acord</translation>
    </message>
    <message>
        <source>Clave de acceso</source>
        <translation>Clau d&apos;accés</translation>
    </message>
    <message>
        <source>Lurn está bloqueado: escriba la clave para volver</source>
        <translation>Lurn està bloquejat: escriviu la clau per tornar-hi</translation>
    </message>
</context>
<context>
    <name>TfmFer</name>
    <message>
        <source>Número inválido</source>
        <translation>Nombre no vàlid</translation>
    </message>
    <message>
        <source>Fuera de rango</source>
        <translation>Fora de límits</translation>
    </message>
    <message>
        <source>Las claves no coinciden</source>
        <translation>Les claus no coincideixen</translation>
    </message>
    <message>
        <source>Clave no admitida</source>
        <translation>Clau no admesa</translation>
    </message>
    <message>
        <source>Queda/n %1 minutos</source>
        <translation>Queda/en %1 minuts</translation>
    </message>
    <message>
        <source>Añadir</source>
        <translation>Afegeix</translation>
    </message>
    <message>
        <source>Eliminar</source>
        <translation>Elimina</translation>
    </message>
    <message>
        <source>&amp;Iniciar</source>
        <translation>&amp;Inicia</translation>
    </message>
    <message>
        <source>&amp;Parar</source>
        <translation>&amp;Atura</translation>
    </message>
    <message>
        <source>Ver tiempo</source>
        <translation>Mostra</translation>
    </message>
    <message>
        <source>Tarifa (pts/hora):</source>
        <translation>Tarifa (pts/hora):</translation>
    </message>
    <message>
        <source>Tarifa 1</source>
        <translation>Tarifa 1</translation>
    </message>
    <message>
        <source>Tarifa 2</source>
        <translation>Tarifa 2</translation>
    </message>
    <message>
        <source>Lleva gastado :</source>
        <translation>Porta gastat:</translation>
    </message>
    <message>
        <source>&amp;Continuar</source>
        <translation>&amp;Continua</translation>
    </message>
    <message>
        <source>Programas a terminar :</source>
        <translation>Programes a tancar:</translation>
    </message>
    <message>
        <source>Cuenta atrás :</source>
        <translation>Compte enrere:</translation>
    </message>
    <message>
        <source>Horas</source>
        <translation>Hores</translation>
    </message>
    <message>
        <source>Minutos</source>
        <translation>Minuts</translation>
    </message>
    <message>
        <source>Segundos</source>
        <translation>Segons</translation>
    </message>
    <message>
        <source>Avisar </source>
        <translation>Avisa </translation>
    </message>
    <message>
        <source>minutos antes</source>
        <translation>minuts abans</translation>
    </message>
    <message>
        <source>(0 si no hay que avisar)</source>
        <translation>(0 si no cal avisar)</translation>
    </message>
    <message>
        <source>que queda</source>
        <translation>el temps</translation>
    </message>
    <message>
        <source>Para añadir tiempo</source>
        <translation>Per afegir temps,</translation>
    </message>
    <message>
        <source>ampliar estas cifras</source>
        <translation>augmenta les xifres</translation>
    </message>
    <message>
        <source>y darle al tabulador</source>
        <translation>i prem Tab</translation>
    </message>
    <message>
        <source>Clave :</source>
        <translation>Clau:</translation>
    </message>
    <message>
        <source>Repetir clave :</source>
        <translation>Repeteix la clau:</translation>
    </message>
    <message>
        <source>Hecho con cariño por</source>
        <translation>Fet amb estima per</translation>
    </message>
    <message>
        <source>los de Lurn</source>
        <translation>la gent de Lurn</translation>
    </message>
    <message>
        <source>Versión 1.0</source>
        <translation>Versió 1.0</translation>
    </message>
    <message>
        <source>Dudas y avisos:</source>
        <translation>Dubtes i avisos:</translation>
    </message>
    <message>
        <source>(responde en días)</source>
        <translation>(respon en dies)</translation>
    </message>
    <message>
        <source>Registro</source>
        <translation>Registre</translation>
    </message>
    <message>
        <source>Registro de sesiones (Ctrl+R)</source>
        <translation>Registre de sessions (Ctrl+R)</translation>
    </message>
    <message>
        <source>no se puede leer su archivo</source>
        <translation>no se&apos;n pot llegir el fitxer</translation>
    </message>
    <message>
        <source>su archivo está vacío</source>
        <translation>el seu fitxer és buit</translation>
    </message>
    <message>
        <source>su archivo está incompleto o dañado</source>
        <translation>el seu fitxer és incomplet o malmès</translation>
    </message>
    <message>
        <source>La cuenta atrás que estaba en marcha se ha recuperado, pero el reloj del equipo va por detrás de la última vez que se guardó (¿pila agotada o corte de luz?): el tiempo que el equipo estuvo apagado no se ha podido medir y no se ha contado. Compruebe la hora del equipo.</source>
        <translation>S&apos;ha recuperat el compte enrere que estava en marxa, però el rellotge de l&apos;equip va per darrere de l&apos;última vegada que es va desar (pila esgotada o tall de llum?): el temps que l&apos;equip ha estat apagat no s&apos;ha pogut mesurar i no s&apos;ha comptat. Comproveu l&apos;hora de l&apos;equip.</translation>
    </message>
    <message>
        <source>su archivo lleva una hora posterior a la actual (¿se ha cambiado la hora del equipo?)</source>
        <translation>el seu fitxer porta una hora posterior a l&apos;actual (s&apos;ha canviat l&apos;hora de l&apos;equip?)</translation>
    </message>
    <message>
        <source>La cuenta atrás que estaba en marcha no se ha podido recuperar: %1.</source>
        <translation>No s&apos;ha pogut recuperar el compte enrere que estava en marxa: %1.</translation>
    </message>
    <message>
        <source> El archivo se ha guardado aparte en «%1».</source>
        <translation> El fitxer s&apos;ha desat a part a «%1».</translation>
    </message>
    <message>
        <source>Programas a terminar</source>
        <translation>Programes a tancar</translation>
    </message>
    <message>
        <source>Programa que añadir a la lista</source>
        <translation>Programa que cal afegir a la llista</translation>
    </message>
    <message>
        <source>Minutos de aviso antes del final</source>
        <translation>Minuts d&apos;avís abans del final</translation>
    </message>
    <message>
        <source>Ver tiempo que queda</source>
        <translation>Mostra el temps que queda</translation>
    </message>
    <message>
        <source>Importe de la tarifa 1 (pts/hora)</source>
        <translation>Import de la tarifa 1 (pts/hora)</translation>
    </message>
    <message>
        <source>Importe de la tarifa 2 (pts/hora)</source>
        <translation>Import de la tarifa 2 (pts/hora)</translation>
    </message>
    <message>
        <source>Clave</source>
        <translation>Clau</translation>
    </message>
    <message>
        <source>Repetir clave</source>
        <translation>Repeteix la clau</translation>
    </message>
    <message>
        <source>Registro de sesiones</source>
        <translation>Registre de sessions</translation>
    </message>
    <message>
        <source>En la barra de tareas</source>
        <translation>A la barra de tasques</translation>
    </message>
    <message>
        <source>Lleva gastado</source>
        <translation>Porta gastat</translation>
    </message>
    <message>
        <source>Tarifa</source>
        <translation>Tarifa</translation>
    </message>
    <message>
        <source>La cuenta atrás que estaba en marcha se ha recuperado, pero el reloj del equipo va más de un día por delante de la última vez que se guardó (¿hora mal puesta o un corte de luz muy largo?): la cuenta atrás se ha dado por terminada y se cobra su duración completa. Compruebe la hora del equipo.</source>
        <translation>S&apos;ha recuperat el compte enrere que estava en marxa, però el rellotge de l&apos;equip va més d&apos;un dia per davant de l&apos;última vegada que es va desar (hora mal posada o un tall de llum molt llarg?): el compte enrere s&apos;ha donat per acabat i se&apos;n cobra la durada completa. Comproveu l&apos;hora de l&apos;equip.</translation>
    </message>
</context>
<context>
    <name>WindowSourceChoice</name>
    <message>
        <source>Lo que responde en el bus de la sesión como extensión de GNOME Shell de Lurn no es la extensión instalada con Lurn (puede ser una copia del usuario, en ~/.local/share/gnome-shell/extensions, o de otro programa): al acabar el tiempo solo se cerrarán los programas X11, no los programas Wayland nativos. Borre la copia del usuario, salga de la sesión y vuelva a entrar. Vea «GNOME Shell» en %1.</source>
        <translation>El que respon al bus de la sessió com a extensió del GNOME Shell de Lurn no és l&apos;extensió instal·lada amb Lurn (pot ser una còpia de l&apos;usuari, a ~/.local/share/gnome-shell/extensions, o d&apos;un altre programa): quan s&apos;acabi el temps només es tancaran els programes X11, no els programes Wayland nadius. Esborreu la còpia de l&apos;usuari, sortiu de la sessió i torneu-hi a entrar. Vegeu «GNOME Shell» a %1.</translation>
    </message>
    <message>
        <source>La extensión de GNOME Shell de Lurn instalada no es de esta versión de Lurn: al acabar el tiempo solo se cerrarán los programas X11, no los programas Wayland nativos. Instale la misma versión de Lurn y de su extensión y vuelva a entrar en la sesión. Vea «GNOME Shell» en %1.</source>
        <translation>L&apos;extensió del GNOME Shell de Lurn instal·lada no és d&apos;aquesta versió de Lurn: quan s&apos;acabi el temps només es tancaran els programes X11, no els programes Wayland nadius. Instal·leu la mateixa versió de Lurn i de la seva extensió i torneu a entrar a la sessió. Vegeu «GNOME Shell» a %1.</translation>
    </message>
    <message>
        <source>En GNOME, Lurn solo puede cerrar los programas Wayland nativos con su extensión de GNOME Shell, que no está activa: al acabar el tiempo solo se cerrarán los programas X11. Actívela con «gnome-extensions enable %2» (GNOME 43 y 44) o «gnome-extensions enable lurn-windows-45@lurn» (GNOME 45 a 49) (si acaba de instalarse, salga antes de la sesión y vuelva a entrar) y abra Lurn de nuevo. Vea «GNOME Shell» en %1.</source>
        <translation>Al GNOME, Lurn només pot tancar els programes Wayland nadius amb la seva extensió del GNOME Shell, que no està activa: quan s&apos;acabi el temps només es tancaran els programes X11. Activeu-la amb «gnome-extensions enable %2» (GNOME 43 i 44) o «gnome-extensions enable lurn-windows-45@lurn» (GNOME 45 a 49) (si s&apos;acaba d&apos;instal·lar, abans sortiu de la sessió i torneu-hi a entrar) i torneu a obrir Lurn. Vegeu «GNOME Shell» a %1.</translation>
    </message>
    <message>
        <source>KWin no concede a Lurn la lista de ventanas: al acabar el tiempo solo se cerrarán los programas X11, no los programas Wayland nativos. Inicie Lurn desde su entrada instalada (lurn.desktop con X-KDE-Wayland-Interfaces). Vea «Wayland desktops» en %1.</source>
        <translation>El KWin no dona a Lurn la llista de finestres: quan s&apos;acabi el temps només es tancaran els programes X11, no els programes Wayland nadius. Inicieu Lurn des de la seva entrada instal·lada (lurn.desktop amb X-KDE-Wayland-Interfaces). Vegeu «Wayland desktops» a %1.</translation>
    </message>
    <message>
        <source>Este escritorio Wayland no deja a Lurn ver las ventanas de los demás programas: al acabar el tiempo solo se cerrarán los programas X11, no los programas Wayland nativos. Vea «Wayland desktops» en %1.</source>
        <translation>Aquest escriptori Wayland no deixa que Lurn vegi les finestres dels altres programes: quan s&apos;acabi el temps només es tancaran els programes X11, no els programes Wayland nadius. Vegeu «Wayland desktops» a %1.</translation>
    </message>
</context>
<context>
    <name>WindowSources</name>
    <message>
        <source>Lurn no ha podido abrir la lista de ventanas del escritorio: al acabar el tiempo solo se cerrarán los programas X11. Vea «Wayland desktops» en %1.</source>
        <translation>Lurn no ha pogut obrir la llista de finestres de l&apos;escriptori: quan s&apos;acabi el temps només es tancaran els programes X11. Vegeu «Wayland desktops» a %1.</translation>
    </message>
</context>
</TS>
