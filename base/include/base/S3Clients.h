// The one place where S3 clients are made. Every client of every plug-in is built here, with
// the options they all share: payload signing never, virtual-host addressing on, the us-east-1
// endpoint option left to the SDK, and the SDK's own endpoint rules.
#pragma once

#include <aws/core/auth/AWSCredentials.h>
#include <aws/core/client/ClientConfiguration.h>
#include <aws/s3/S3Client.h>

#include <memory>

std::shared_ptr<Aws::S3::S3Client> MakeS3Client(const Aws::Auth::AWSCredentials& credentials,
                                                const Aws::Client::ClientConfiguration& config);
