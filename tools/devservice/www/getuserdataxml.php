<?php
// Account data: whether the credentials are accepted, the user's group and
// albums. Called as /getuserdataxml.php?user=U&hashed_password=H.

declare(strict_types=1);
require dirname(__DIR__) . '/lib/common.php';

// The client inserts the user name unescaped, so a name holding "&" would be
// split by PHP's own query parsing; take the raw query apart first.
function ds_credentials(): array
{
    $query = $_SERVER['QUERY_STRING'] ?? '';
    if (preg_match('/^user=(.*)&hashed_password=([^&]*)$/s', $query, $m) === 1) {
        return [rawurldecode($m[1]), rawurldecode($m[2])];
    }
    $user = isset($_GET['user']) && is_string($_GET['user']) ? $_GET['user'] : null;
    $digest = isset($_GET['hashed_password']) && is_string($_GET['hashed_password'])
        ? $_GET['hashed_password'] : null;
    return [$user, $digest];
}

[$name, $digest] = ds_credentials();
$user = ds_find_user($name);

if ($user === null) {
    ds_send_xml('<userdata><error>no such user</error></userdata>');
    exit;
}
if (!ds_digest_ok($user, $digest)) {
    ds_send_xml('<userdata><validated status="false"/></userdata>');
    exit;
}

$xml = '<userdata><validated status="true"/>'
    . '<usergroup>' . ds_xml($user['usergroup']) . '</usergroup>';
foreach ($user['albums'] as $a) {
    $xml .= '<album><id>' . $a['id'] . '</id>'
        . '<album_name>' . ds_xml($a['name']) . '</album_name>'
        . '<album_description>' . ds_xml($a['description']) . '</album_description></album>';
}
$xml .= '</userdata>';
ds_send_xml($xml);
