<?php
// Account data for the client's tests. Any user name signs in with the digest
// of "secret" except "nobody", which the service does not know. The group
// echoes the user name as PHP decoded it from the query, so a test can see
// how the name arrived.
header('Content-Type: text/xml; charset=UTF-8');
$user = $_GET['user'] ?? null;
$digest = $_GET['hashed_password'] ?? '';
echo '<?xml version="1.0" encoding="UTF-8"?>', "\n";
if (!is_string($user) || $user === 'nobody') {
    echo '<userdata><error>no such user</error></userdata>';
    exit;
}
if ($digest !== md5('secret')) {
    echo '<userdata><validated status="false"/></userdata>';
    exit;
}
$x = fn(string $s): string => htmlspecialchars($s, ENT_XML1 | ENT_QUOTES, 'UTF-8');
echo '<userdata><validated status="true"/><usergroup>', $x($user), '</usergroup>';
foreach ([[21, 'Holiday', 'Sun & sea'], [22, 'Cats <3', '']] as [$id, $name, $description]) {
    echo '<album><id>', $id, '</id><album_name>', $x($name), '</album_name>',
        '<album_description>', $x($description), '</album_description></album>';
}
echo '</userdata>';
