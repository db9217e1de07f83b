<?php
// The current client version; DEVSERVICE_VERSION replaces the default.

declare(strict_types=1);
require dirname(__DIR__) . '/lib/common.php';

$application = isset($_GET['application']) && is_string($_GET['application'])
    ? $_GET['application'] : '';
if ($application !== 'flingpost') {
    ds_send_xml('<appinfo><error>unknown application</error></appinfo>');
    exit;
}
$version = getenv('DEVSERVICE_VERSION');
if ($version === false) {
    $version = '0.2';
}
ds_send_xml('<appinfo><current_version>' . ds_xml($version) . '</current_version></appinfo>');
