<?php
// Names the upload address. DEVSERVICE_UPLOAD_URL replaces the address text
// as it stands (empty included), so tests can hand the client bad addresses.

declare(strict_types=1);
require dirname(__DIR__) . '/lib/common.php';

$url = getenv('DEVSERVICE_UPLOAD_URL');
if ($url === false) {
    $url = ds_base_url() . '/upload.php';
}
ds_send_xml('<getserver><uploadform>' . ds_xml($url) . '</uploadform></getserver>');
